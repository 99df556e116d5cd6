#include <memory>
#include <vector>

#include "platform/win32/posix/presentation.h"
#include "runner/tests/test_bundle_window.h"

namespace runner_test {
namespace {

// Hears the top-level window being shown; runs on the window's thread.
class WindowWatcher final : public win32_posix::PresentationBackend {
 public:
  void WindowCreated(HWND, const std::string&, const RECT&) override {}
  void WindowShown(HWND window, bool visible) override {
    wchar_t class_name[64] = {};
    if (GetClassNameW(window, class_name, 64) == 0 || std::wstring(class_name) != kTopLevelClass) {
      return;
    }
    ReportTopLevelWindow(window, visible);
  }
  void WindowMoved(HWND, const RECT&) override {}
  void WindowTitled(HWND, const std::string&) override {}
  void WindowAttributeSet(HWND, DWORD, const std::vector<uint8_t>&) override {}
  void WindowDestroyed(HWND) override {}
  std::vector<win32_posix::MonitorDescription> Monitors() override { return {}; }
};

// The backend the watcher replaced, put back at shutdown: the watcher's code leaves with
// this library.
std::unique_ptr<win32_posix::PresentationBackend> g_replaced_backend;
bool g_watching = false;

}  // namespace

void WatchTopLevelWindow() {
  g_replaced_backend = win32_posix::SetPresentationBackend(std::make_unique<WindowWatcher>());
  g_watching = true;
}

void StopWatchingTopLevelWindow() {
  if (!g_watching) return;
  win32_posix::SetPresentationBackend(std::move(g_replaced_backend));
  g_watching = false;
}

}  // namespace runner_test
