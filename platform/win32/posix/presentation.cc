#include "platform/win32/posix/presentation.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "platform/win32/posix/state.h"

namespace win32_posix {
namespace {

// The default: windows live in memory and are never drawn.
class HeadlessBackend final : public PresentationBackend {
 public:
  void WindowCreated(HWND, const std::string&, const RECT&) override {}
  void WindowShown(HWND, bool) override {}
  void WindowMoved(HWND, const RECT&) override {}
  void WindowTitled(HWND, const std::string&) override {}
  void WindowAttributeSet(HWND, DWORD, const std::vector<uint8_t>&) override {}
  void WindowDestroyed(HWND) override {}
  std::vector<MonitorDescription> Monitors() override { return {}; }
};

HeadlessBackend& Headless() {
  static HeadlessBackend* const headless = new HeadlessBackend();
  return *headless;
}

// The installed backend; the caller of SetPresentationBackend owns a replaced one.
std::atomic<PresentationBackend*> g_backend{nullptr};

}  // namespace

std::unique_ptr<PresentationBackend> SetPresentationBackend(
    std::unique_ptr<PresentationBackend> backend) {
  PresentationBackend* previous = g_backend.exchange(backend.release());
  return std::unique_ptr<PresentationBackend>(previous);
}

PresentationBackend& Presentation() {
  PresentationBackend* backend = g_backend.load();
  return backend != nullptr ? *backend : Headless();
}

bool PostToWindowThread(HWND window, std::function<void()> work) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return false;
    queue = found->queue;
  }
  auto task = std::make_shared<QueueTask>();
  task->run = std::move(work);
  return QueueTaskOn(queue, std::move(task));
}

}  // namespace win32_posix
