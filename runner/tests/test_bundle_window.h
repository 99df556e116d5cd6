// How the runner's test bundle, inside a tervala_app that a test started, hears the
// application's top-level window being shown: it reports "shown <title> <x>,<y>
// <width>x<height>" (and "hidden" when it is hidden again) and then sends the window
// WM_FONTCHANGE once, as the system does when fonts are installed. POSIX: through the Win32
// layer's presentation backend; Windows: by subclassing the window.
#ifndef TERVALA_RUNNER_TESTS_TEST_BUNDLE_WINDOW_H_
#define TERVALA_RUNNER_TESTS_TEST_BUNDLE_WINDOW_H_

#include <windows.h>

#include <string>

namespace runner_test {

// The class name of the runner's top-level window.
inline constexpr wchar_t kTopLevelClass[] = L"VELA_RUNNER_WIN32_WINDOW";

// Starts watching; called from the bundle's entry point, before its first frame.
void WatchTopLevelWindow();

// Stops watching; called at the engine's shutdown, before the bundle's code leaves.
void StopWatchingTopLevelWindow();

// Reports `window` shown or hidden, and sends it WM_FONTCHANGE the first time it is shown.
void ReportTopLevelWindow(HWND window, bool visible);

}  // namespace runner_test

#endif  // TERVALA_RUNNER_TESTS_TEST_BUNDLE_WINDOW_H_
