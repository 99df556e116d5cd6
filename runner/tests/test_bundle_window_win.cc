#include "runner/tests/test_bundle_window.h"

namespace runner_test {
namespace {

WNDPROC g_original_procedure = nullptr;

// Sees the top-level window's messages first, on the window's thread.
LRESULT CALLBACK WatchingProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SHOWWINDOW) ReportTopLevelWindow(window, wparam != FALSE);
  return CallWindowProcW(g_original_procedure, window, message, wparam, lparam);
}

BOOL CALLBACK FindTopLevel(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t class_name[64] = {};
  if (process != GetCurrentProcessId() || GetClassNameW(window, class_name, 64) == 0 ||
      std::wstring(class_name) != kTopLevelClass) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

void WatchTopLevelWindow() {
  // The window exists before the engine runs the bundle.
  HWND window = nullptr;
  EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&window));
  if (window == nullptr) return;
  // The window procedure stays this library's code until the window is gone, which may be
  // after the engine let the library go: it stays loaded for the rest of the process.
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&WatchingProcedure), &self);
  g_original_procedure = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchingProcedure)));
}

void StopWatchingTopLevelWindow() {}

}  // namespace runner_test
