// Operations that the parts of the window manager share with each other.
#ifndef TERVALA_PLATFORM_WIN32_POSIX_WINDOW_OPS_H_
#define TERVALA_PLATFORM_WIN32_POSIX_WINDOW_OPS_H_

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/posix/presentation.h"

namespace win32_posix {

// Geometry and activation (geometry.cc).
// The default handling of WM_WINDOWPOSCHANGED: WM_MOVE and WM_SIZE where they changed.
void SendMoveAndSize(HWND window, const WINDOWPOS& position);
// Before a window is hidden or destroyed: takes the focus out of it (to its parent, or to
// nobody) and deactivates it.
void ReleaseFocusAndActivation(HWND window);
// The window's rectangle in screen coordinates.
RECT ScreenRect(HWND window);

// Monitors (monitors.cc).
// The monitors in effect now: TERVALA_MONITORS, else the backend's, else the default one.
std::vector<MonitorDescription> CurrentMonitors();
// The DPI of the monitor that a rectangle in screen coordinates lies on (or is nearest to).
UINT DpiForRect(const RECT& rect);

// Makes SIGINT, SIGTERM and SIGHUP post WM_CLOSE to every top-level window (close_signals.cc).
// Installed once, when the first top-level window is created.
void EnsureCloseSignals();
// Records that the program has begun to close: a top-level window is being destroyed or the
// quit message was posted. Close signals that then find no window are dropped.
void NoteClosing();

// Window text of top-level windows, as the backend wants it.
std::string TitleUtf8(HWND window);

}  // namespace win32_posix

#endif  // TERVALA_PLATFORM_WIN32_POSIX_WINDOW_OPS_H_
