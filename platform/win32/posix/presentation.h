// The seam between the window manager and a presentation backend that shows windows on a
// real display. The window manager tells the backend what happens to top-level windows; the
// backend reports what the user does by running work on the window's thread (which then uses
// the ordinary functions: SetWindowPos for a move, PostMessageW(WM_CLOSE) for the close
// button, and so on), so every event reaches the program as the messages Windows would send.
// Without a backend the layer is headless: windows exist in memory only.
#ifndef TERVALA_PLATFORM_WIN32_POSIX_PRESENTATION_H_
#define TERVALA_PLATFORM_WIN32_POSIX_PRESENTATION_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace win32_posix {

// The DPI values a monitor may have, from half of 96 to the largest scale Windows offers
// (500 %): windows are sized by the DPI, so a larger one would make every window huge (960
// DPI took 4.9 seconds and a gigabyte to start headless, 2400 DPI more).
inline constexpr UINT kMinMonitorDpi = 48;
inline constexpr UINT kMaxMonitorDpi = 480;

// A monitor: its rectangle in screen coordinates and its DPI.
struct MonitorDescription {
  RECT rect{};
  UINT dpi = USER_DEFAULT_SCREEN_DPI;
};

// What a backend is told. Calls come after the change has been made, without any lock of the
// layer held, on the thread that made the change (the window's own thread, except for
// DwmSetWindowAttribute and SetParent called from elsewhere). Monitors() is asked often (on
// every move of a top-level window), so a backend answers it from what it already knows.
class PresentationBackend {
 public:
  virtual ~PresentationBackend() = default;
  // A top-level window exists (hidden unless WS_VISIBLE follows through WindowShown).
  virtual void WindowCreated(HWND window, const std::string& title_utf8, const RECT& rect) = 0;
  virtual void WindowShown(HWND window, bool visible) = 0;
  // The window's rectangle in screen coordinates changed.
  virtual void WindowMoved(HWND window, const RECT& rect) = 0;
  virtual void WindowTitled(HWND window, const std::string& title_utf8) = 0;
  // A DWM attribute was set (attribute 20 is the dark title bar).
  virtual void WindowAttributeSet(HWND window, DWORD attribute,
                                  const std::vector<uint8_t>& value) = 0;
  virtual void WindowDestroyed(HWND window) = 0;
  // `window` (the top-level window `top_level` or a window inside it) has new contents to
  // show, for example a new frame of an engine view (InvalidateRect).
  virtual void WindowInvalidated(HWND /*top_level*/, HWND /*window*/) {}
  // The monitors of the display; empty to use the default monitor. TERVALA_MONITORS, when
  // set, takes precedence.
  virtual std::vector<MonitorDescription> Monitors() = 0;
};

// Installs the backend (null: headless again) and returns the previous one. Install it
// before the first window exists; a replaced backend must outlive calls already under way.
std::unique_ptr<PresentationBackend> SetPresentationBackend(
    std::unique_ptr<PresentationBackend> backend);

// The current backend; the headless one when none is installed. Safe from any thread.
PresentationBackend& Presentation();

// Installs the display backend once per process when a display is available ($DISPLAY set,
// TERVALA_HEADLESS unset or empty) and no backend has been installed yet. The layer calls it
// before it first needs monitors or a top-level window.
void EnsureDisplayBackend();

// Runs `work` on the thread that owns `window`, from inside its message loop, without waiting.
// For backends reporting user actions. False when the window or its thread is gone.
bool PostToWindowThread(HWND window, std::function<void()> work);

}  // namespace win32_posix

#endif  // TERVALA_PLATFORM_WIN32_POSIX_PRESENTATION_H_
