// The translation of X11 input events into the encodings of Windows input messages: virtual
// keys, MK_* flags, the mouse message of a button and the UTF-16 units of a character.
#ifndef TERVALA_PLATFORM_WIN32_POSIX_X11_X11_INPUT_H_
#define TERVALA_PLATFORM_WIN32_POSIX_X11_X11_INPUT_H_

#include <windows.h>

#include <cstddef>

namespace win32_posix {

// Xlib's key symbol (<X11/X.h>), declared here so that includers need not see Xlib's macros.
using X11KeySym = unsigned long;

// The virtual-key code of the key with keysym `keysym` (the key's unshifted symbol); 0 for
// keys without one.
WPARAM VirtualKeyFromKeysym(X11KeySym keysym);

// The MK_* flags for the X modifier and button state `state` of a pointer event. X reports
// the state before the event; for a press or release of `button` (1 to 3, 0 for none) the
// flags show the state after it, as Windows does.
WORD MouseKeyState(unsigned state, unsigned button = 0, bool pressed = false);

// The mouse message of a press or release of X button `button`: buttons 1, 2 and 3 are the
// left, middle and right buttons, 4 and 5 turn the wheel away from and towards the user (a
// press only; `wheel_delta` is then +120 or -120). 0 for other buttons and wheel releases.
UINT MouseMessageFromButton(unsigned button, bool pressed, short* wheel_delta);

// The character a key with keysym `keysym` types (the symbol with the modifiers applied):
// Latin-1 and Unicode keysyms, and Enter, Tab, Backspace and Escape as their control
// characters. With Control held, letters type their control characters (Ctrl+A is 1). 0 for
// keys that type nothing.
char32_t CharacterFromKeysym(X11KeySym keysym, bool control);

// Writes `character` as UTF-16 units into `units`; returns how many (0 for values that are
// no character: surrogates and values past U+10FFFF).
size_t EncodeUtf16(char32_t character, WCHAR units[2]);

}  // namespace win32_posix

#endif  // TERVALA_PLATFORM_WIN32_POSIX_X11_X11_INPUT_H_
