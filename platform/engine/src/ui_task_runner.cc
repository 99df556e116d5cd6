#include "platform/engine/src/ui_task_runner.h"

#include <mutex>
#include <utility>

namespace vela_engine {
namespace {

constexpr wchar_t kWindowClass[] = L"VELA_ENGINE_TASK_RUNNER";
constexpr UINT kWakeMessage = WM_USER + 1;

void RegisterWindowClassOnce(WNDPROC procedure) {
  static std::once_flag once;
  std::call_once(once, [procedure] {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kWindowClass;
    RegisterClassW(&window_class);
  });
}

}  // namespace

struct UiTaskRunner::Core : std::enable_shared_from_this<UiTaskRunner::Core> {
  HWND window = nullptr;
  std::mutex mutex;
  std::deque<Item> items;
  bool wake_posted = false;
  bool shut_down = false;

  // Runs the tasks queued when it starts, one at a time, so that tasks posted meanwhile wait
  // for the next wake and a shutdown in the middle leaves the rest to Shutdown().
  void RunQueued() {
    size_t count;
    {
      std::lock_guard<std::mutex> lock(mutex);
      wake_posted = false;
      count = items.size();
    }
    for (; count > 0; --count) {
      Item item;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (shut_down || items.empty()) return;
        item = std::move(items.front());
        items.pop_front();
      }
      item.task();
    }
  }

  // Runs every kRun task, including those they post, and drops the others.
  void Settle() {
    for (;;) {
      std::deque<Item> batch;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (items.empty()) return;
        batch.swap(items);
      }
      for (Item& item : batch) {
        if (item.at_shutdown == AtShutdown::kRun) item.task();
        item.task = nullptr;
      }
    }
  }
};

std::unique_ptr<UiTaskRunner> UiTaskRunner::Create() {
  RegisterWindowClassOnce(&UiTaskRunner::WindowProc);
  auto core = std::make_shared<Core>();
  core->window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  if (core->window == nullptr) return nullptr;
  SetWindowLongPtrW(core->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(core.get()));
  return std::unique_ptr<UiTaskRunner>(new UiTaskRunner(std::move(core)));
}

UiTaskRunner::UiTaskRunner(std::shared_ptr<Core> core)
    : core_(std::move(core)), thread_(std::this_thread::get_id()) {}

UiTaskRunner::~UiTaskRunner() { Shutdown(); }

bool UiTaskRunner::Post(Task task, AtShutdown at_shutdown) {
  std::lock_guard<std::mutex> lock(core_->mutex);
  if (core_->shut_down) return false;
  core_->items.push_back(Item{std::move(task), at_shutdown});
  if (!core_->wake_posted) {
    core_->wake_posted = PostMessageW(core_->window, kWakeMessage, 0, 0) != FALSE;
  }
  return true;
}

void UiTaskRunner::Settle() { core_->Settle(); }

void UiTaskRunner::Shutdown() {
  core_->Settle();
  HWND window;
  {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->shut_down) return;
    core_->shut_down = true;
    window = core_->window;
    core_->window = nullptr;
  }
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
}

LRESULT CALLBACK UiTaskRunner::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kWakeMessage) {
    auto* core = reinterpret_cast<Core*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (core != nullptr) {
      std::shared_ptr<Core> keep_alive = core->shared_from_this();
      keep_alive->RunQueued();
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace vela_engine
