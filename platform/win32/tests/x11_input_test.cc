#include "platform/win32/posix/x11/x11_input.h"

// Before Xlib's headers, whose None macro breaks gtest's.
#include <gtest/gtest.h>

#include <X11/X.h>
#include <X11/keysym.h>

namespace {

using namespace win32_posix;

TEST(X11InputTest, KeysymsMapToVirtualKeys) {
  EXPECT_EQ(VirtualKeyFromKeysym(XK_a), WPARAM{'A'});  // Letters by their capital.
  EXPECT_EQ(VirtualKeyFromKeysym(XK_Z), WPARAM{'Z'});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_7), WPARAM{'7'});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_F1), WPARAM{VK_F1});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_F12), WPARAM{VK_F12});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_KP_Enter), WPARAM{VK_RETURN});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_Shift_R), WPARAM{VK_SHIFT});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_Control_L), WPARAM{VK_CONTROL});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_Alt_L), WPARAM{VK_MENU});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_Home), WPARAM{VK_HOME});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_Left), WPARAM{VK_LEFT});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_F13), WPARAM{0});
  EXPECT_EQ(VirtualKeyFromKeysym(XK_period), WPARAM{0});
}

TEST(X11InputTest, ButtonsAndStateMapToMouseMessages) {
  short wheel = 7;
  EXPECT_EQ(MouseMessageFromButton(1, true, &wheel), UINT{WM_LBUTTONDOWN});
  EXPECT_EQ(MouseMessageFromButton(2, false, &wheel), UINT{WM_MBUTTONUP});
  EXPECT_EQ(MouseMessageFromButton(3, true, &wheel), UINT{WM_RBUTTONDOWN});
  EXPECT_EQ(wheel, 0);
  EXPECT_EQ(MouseMessageFromButton(4, true, &wheel), UINT{WM_MOUSEWHEEL});
  EXPECT_EQ(wheel, 120);
  EXPECT_EQ(MouseMessageFromButton(5, true, &wheel), UINT{WM_MOUSEWHEEL});
  EXPECT_EQ(wheel, -120);
  EXPECT_EQ(MouseMessageFromButton(5, false, &wheel), UINT{0});  // The notch's release.
  EXPECT_EQ(MouseMessageFromButton(8, true, &wheel), UINT{0});

  EXPECT_EQ(MouseKeyState(Button1Mask | Button3Mask | ShiftMask | ControlMask | Mod1Mask),
            MK_LBUTTON | MK_RBUTTON | MK_SHIFT | MK_CONTROL);
  // X reports the state before the event, Windows the state after it.
  EXPECT_EQ(MouseKeyState(0, 2, true), MK_MBUTTON);
  EXPECT_EQ(MouseKeyState(Button1Mask | Button2Mask, 1, false), MK_MBUTTON);
  EXPECT_EQ(MouseKeyState(ShiftMask, 4, true), MK_SHIFT);
}

TEST(X11InputTest, KeysymsTypeCharactersAsUtf16) {
  EXPECT_EQ(CharacterFromKeysym(XK_A, false), U'A');
  EXPECT_EQ(CharacterFromKeysym(XK_eacute, false), U'\u00e9');
  EXPECT_EQ(CharacterFromKeysym(0x010020ac, false), U'\u20ac');  // Unicode keysym: the euro.
  EXPECT_EQ(CharacterFromKeysym(XK_Return, false), U'\r');
  EXPECT_EQ(CharacterFromKeysym(XK_a, true), char32_t{1});  // Ctrl+A.
  EXPECT_EQ(CharacterFromKeysym(XK_1, true), U'1');
  EXPECT_EQ(CharacterFromKeysym(XK_Left, false), char32_t{0});
  EXPECT_EQ(CharacterFromKeysym(XK_Shift_L, false), char32_t{0});

  WCHAR units[2] = {};
  ASSERT_EQ(EncodeUtf16(U'\u00e9', units), 1u);
  EXPECT_EQ(units[0], WCHAR{0xe9});
  ASSERT_EQ(EncodeUtf16(U'\U0001F600', units), 2u);
  EXPECT_EQ(units[0], WCHAR{0xd83d});
  EXPECT_EQ(units[1], WCHAR{0xde00});
  EXPECT_EQ(EncodeUtf16(0xd800, units), 0u);
  EXPECT_EQ(EncodeUtf16(0x110000, units), 0u);
}

}  // namespace
