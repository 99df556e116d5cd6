#include "platform/engine/src/view_input.h"

namespace vela_engine {
namespace {

constexpr uint32_t kReplacementCharacter = 0xFFFD;

bool KeyDown(int virtual_key) { return (GetKeyState(virtual_key) & 0x8000) != 0; }

// Modifier keys from the key state; for mouse messages Shift and Control come with the
// message itself.
uint32_t Modifiers() {
  uint32_t modifiers = 0;
  if (KeyDown(VK_SHIFT)) modifiers |= VELA_BUNDLE_MODIFIER_SHIFT;
  if (KeyDown(VK_CONTROL)) modifiers |= VELA_BUNDLE_MODIFIER_CONTROL;
  if (KeyDown(VK_MENU)) modifiers |= VELA_BUNDLE_MODIFIER_ALT;
  return modifiers;
}

uint32_t PointerModifiers(WORD key_state) {
  uint32_t modifiers = 0;
  if (key_state & MK_SHIFT) modifiers |= VELA_BUNDLE_MODIFIER_SHIFT;
  if (key_state & MK_CONTROL) modifiers |= VELA_BUNDLE_MODIFIER_CONTROL;
  if (KeyDown(VK_MENU)) modifiers |= VELA_BUNDLE_MODIFIER_ALT;
  return modifiers;
}

uint32_t Buttons(WORD key_state) {
  uint32_t buttons = 0;
  if (key_state & MK_LBUTTON) buttons |= VELA_BUNDLE_BUTTON_LEFT;
  if (key_state & MK_RBUTTON) buttons |= VELA_BUNDLE_BUTTON_RIGHT;
  if (key_state & MK_MBUTTON) buttons |= VELA_BUNDLE_BUTTON_MIDDLE;
  return buttons;
}

// The signed 16-bit coordinates of lparam (negative left of or above the window while the
// pointer is captured).
POINT PointOf(LPARAM lparam) {
  return POINT{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
}

void AppendUtf8(uint32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

}  // namespace

std::vector<uint32_t> ViewInput::TakeCharacters(WPARAM unit) {
  const bool high = unit >= 0xD800 && unit <= 0xDBFF;
  const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
  std::vector<uint32_t> characters;
  if (high_surrogate_ != 0) {
    const uint32_t pending = high_surrogate_;
    high_surrogate_ = 0;
    if (low) {
      return {0x10000 + ((pending - 0xD800) << 10) + (static_cast<uint32_t>(unit) - 0xDC00)};
    }
    characters.push_back(kReplacementCharacter);
  }
  if (high) {
    high_surrogate_ = static_cast<uint32_t>(unit);
  } else {
    // A lone second half, or a value beyond Unicode, is no character either.
    characters.push_back(low || unit > 0x10FFFF ? kReplacementCharacter
                                                : static_cast<uint32_t>(unit));
  }
  return characters;
}

bool ViewInput::Translate(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                          std::vector<InputEvent>* events) {
  InputEvent event;
  VelaBundlePointerEvent& pointer = event.pointer;
  pointer.struct_size = sizeof(VelaBundlePointerEvent);
  VelaBundleKeyEvent& key = event.key;
  key.struct_size = sizeof(VelaBundleKeyEvent);
  const WORD key_state = GET_KEYSTATE_WPARAM(wparam);
  switch (message) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEWHEEL: {
      event.is_pointer = true;
      POINT point = PointOf(lparam);
      switch (message) {
        case WM_MOUSEMOVE:
          pointer.kind = VELA_BUNDLE_POINTER_MOVE;
          break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
          pointer.kind = VELA_BUNDLE_POINTER_DOWN;
          break;
        case WM_MOUSEWHEEL:
          pointer.kind = VELA_BUNDLE_POINTER_WHEEL;
          pointer.wheel_delta = GET_WHEEL_DELTA_WPARAM(wparam);
          // The wheel's position comes in screen coordinates.
          ScreenToClient(window, &point);
          break;
        default:
          pointer.kind = VELA_BUNDLE_POINTER_UP;
          break;
      }
      if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
        pointer.button = VELA_BUNDLE_BUTTON_LEFT;
      } else if (message == WM_RBUTTONDOWN || message == WM_RBUTTONUP) {
        pointer.button = VELA_BUNDLE_BUTTON_RIGHT;
      } else if (message == WM_MBUTTONDOWN || message == WM_MBUTTONUP) {
        pointer.button = VELA_BUNDLE_BUTTON_MIDDLE;
      }
      pointer.x = point.x;
      pointer.y = point.y;
      pointer.buttons = Buttons(key_state);
      pointer.modifiers = PointerModifiers(key_state);
      break;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
      key.kind = down ? VELA_BUNDLE_KEY_DOWN : VELA_BUNDLE_KEY_UP;
      key.key_code = static_cast<uint32_t>(wparam & 0xFF);
      key.modifiers = Modifiers();
      // Bit 30 of lparam: the key was down before this message.
      key.repeat = down && (static_cast<uint64_t>(lparam) & (1u << 30)) != 0 ? 1 : 0;
      break;
    }
    case WM_CHAR:
      key.kind = VELA_BUNDLE_KEY_CHAR;
      key.modifiers = Modifiers();
      for (uint32_t character : TakeCharacters(wparam)) {
        events->push_back(event);
        AppendUtf8(character, &events->back().text);
      }
      return true;
    case WM_SETFOCUS:
      key.kind = VELA_BUNDLE_KEY_FOCUS_GAINED;
      break;
    case WM_KILLFOCUS:
      high_surrogate_ = 0;
      key.kind = VELA_BUNDLE_KEY_FOCUS_LOST;
      break;
    default:
      return false;
  }
  events->push_back(std::move(event));
  return true;
}

}  // namespace vela_engine
