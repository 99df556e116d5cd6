// Simulated user input for tests: mouse and keyboard messages delivered the way Windows
// routes what the user does, so that code under test receives them as it would on Windows.
#ifndef TERVALA_PLATFORM_WIN32_POSIX_INPUT_H_
#define TERVALA_PLATFORM_WIN32_POSIX_INPUT_H_

#include <windows.h>

namespace win32_posix {

// Posts a mouse message (WM_MOUSEMOVE, WM_[LRM]BUTTONDOWN/UP or WM_MOUSEWHEEL) for the pointer
// at `screen_point`. `key_state` holds the MK_* flags after the event; for WM_MOUSEWHEEL
// `wheel_delta` goes into the high word of wparam. The message goes to the window holding
// the mouse capture, else to the visible window under the point; lparam is the point in
// that window's client coordinates (screen coordinates for WM_MOUSEWHEEL, as on Windows).
// A display that knows which top-level window the pointer is over passes it as `top_level`:
// the message then goes to the deepest window under the point inside it (or to it). The
// button's state for GetKeyState follows the message. Returns the window the message went
// to; null when there is none.
HWND InjectMouseInput(POINT screen_point, UINT message, WORD key_state, short wheel_delta = 0,
                      HWND top_level = nullptr);

// Posts a keyboard message (WM_KEYDOWN/UP, WM_SYSKEYDOWN/UP or WM_CHAR) to the window with
// the keyboard focus of the foreground window's thread. For the key messages the key's
// state for GetKeyState follows the message; `lparam` is passed as given (bit 30: the key
// was already down). Returns the window the message went to; null when no window has the
// focus.
HWND InjectKeyInput(UINT message, WPARAM wparam, LPARAM lparam = 0);

}  // namespace win32_posix

#endif  // TERVALA_PLATFORM_WIN32_POSIX_INPUT_H_
