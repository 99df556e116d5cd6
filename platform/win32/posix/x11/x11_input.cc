// X11 keysyms, button numbers and modifier masks translated into Windows input encodings.
#include "platform/win32/posix/x11/x11_input.h"

#include <X11/X.h>
#include <X11/keysym.h>

namespace win32_posix {

WPARAM VirtualKeyFromKeysym(X11KeySym keysym) {
  if (keysym >= XK_a && keysym <= XK_z) return 'A' + (keysym - XK_a);
  if (keysym >= XK_A && keysym <= XK_Z) return keysym;
  if (keysym >= XK_0 && keysym <= XK_9) return keysym;
  if (keysym >= XK_F1 && keysym <= XK_F12) return VK_F1 + (keysym - XK_F1);
  switch (keysym) {
    case XK_Return:
    case XK_KP_Enter:
      return VK_RETURN;
    case XK_Escape:
      return VK_ESCAPE;
    case XK_Tab:
    case XK_ISO_Left_Tab:  // Shift+Tab on many layouts.
      return VK_TAB;
    case XK_BackSpace:
      return VK_BACK;
    case XK_space:
      return VK_SPACE;
    case XK_Delete:
    case XK_KP_Delete:
      return VK_DELETE;
    case XK_Home:
    case XK_KP_Home:
      return VK_HOME;
    case XK_End:
    case XK_KP_End:
      return VK_END;
    case XK_Left:
    case XK_KP_Left:
      return VK_LEFT;
    case XK_Right:
    case XK_KP_Right:
      return VK_RIGHT;
    case XK_Up:
    case XK_KP_Up:
      return VK_UP;
    case XK_Down:
    case XK_KP_Down:
      return VK_DOWN;
    case XK_Shift_L:
    case XK_Shift_R:
      return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
      return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
      return VK_MENU;
    default:
      return 0;
  }
}

WORD MouseKeyState(unsigned state, unsigned button, bool pressed) {
  if (button >= 1 && button <= 3) {
    const unsigned mask = button == 1 ? Button1Mask : button == 2 ? Button2Mask : Button3Mask;
    state = pressed ? state | mask : state & ~mask;
  }
  WORD flags = 0;
  if (state & Button1Mask) flags |= MK_LBUTTON;
  if (state & Button2Mask) flags |= MK_MBUTTON;
  if (state & Button3Mask) flags |= MK_RBUTTON;
  if (state & ShiftMask) flags |= MK_SHIFT;
  if (state & ControlMask) flags |= MK_CONTROL;
  return flags;
}

UINT MouseMessageFromButton(unsigned button, bool pressed, short* wheel_delta) {
  *wheel_delta = 0;
  switch (button) {
    case 1:
      return pressed ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case 2:
      return pressed ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    case 3:
      return pressed ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case 4:
    case 5:
      // A wheel notch comes as a press and a release; the press is the notch.
      if (!pressed) return 0;
      *wheel_delta = button == 4 ? WHEEL_DELTA : -WHEEL_DELTA;
      return WM_MOUSEWHEEL;
    default:
      return 0;
  }
}

char32_t CharacterFromKeysym(X11KeySym keysym, bool control) {
  char32_t character = 0;
  if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff)) {
    character = static_cast<char32_t>(keysym);  // Latin-1 keysyms are their code points.
  } else if ((keysym & 0xff000000) == 0x01000000) {
    character = static_cast<char32_t>(keysym & 0x00ffffff);  // Unicode keysyms.
  } else {
    switch (keysym) {
      case XK_Return:
      case XK_KP_Enter:
        return '\r';
      case XK_Tab:
      case XK_ISO_Left_Tab:
        return '\t';
      case XK_BackSpace:
        return '\b';
      case XK_Escape:
        return 0x1b;
      default:
        return 0;
    }
  }
  if (control &&
      ((character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z'))) {
    return character & 0x1f;
  }
  return character;
}

size_t EncodeUtf16(char32_t character, WCHAR units[2]) {
  if (character > 0x10ffff || (character >= 0xd800 && character <= 0xdfff)) return 0;
  if (character < 0x10000) {
    units[0] = static_cast<WCHAR>(character);
    return 1;
  }
  character -= 0x10000;
  units[0] = static_cast<WCHAR>(0xd800 + (character >> 10));
  units[1] = static_cast<WCHAR>(0xdc00 + (character & 0x3ff));
  return 2;
}

}  // namespace win32_posix
