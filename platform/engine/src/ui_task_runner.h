// Runs work on the host's UI thread from inside the host's own message loop: tasks posted from
// any thread are queued and a message-only window of the engine, woken by one posted message,
// runs them when the loop dispatches that message.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_UI_TASK_RUNNER_H_
#define TERVALA_PLATFORM_ENGINE_SRC_UI_TASK_RUNNER_H_

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vela_engine {

// The UI thread's task runner of one engine. Created, shut down and destroyed on the UI
// thread.
class UiTaskRunner {
 public:
  using Task = std::function<void()>;

  // What happens to a task still queued when the runner shuts down.
  enum class AtShutdown {
    kDrop,  // Work that only means something while the engine runs (deliveries, frames).
    kRun,   // Settlements that must happen once whatever comes (replies, completions).
  };

  // Creates the runner and its message-only window on the calling thread; null when the
  // window cannot be created.
  static std::unique_ptr<UiTaskRunner> Create();
  ~UiTaskRunner();
  UiTaskRunner(const UiTaskRunner&) = delete;
  UiTaskRunner& operator=(const UiTaskRunner&) = delete;

  // Queues `task` for the UI thread (any thread). False after Shutdown().
  bool Post(Task task, AtShutdown at_shutdown = AtShutdown::kDrop);

  // Runs the queued kRun tasks (and kRun tasks they post), drops the rest, refuses later
  // posts and destroys the window. UI thread.
  void Shutdown();

  // Runs the queued kRun tasks now and drops the others, without shutting down. UI thread.
  void Settle();

  bool OnUiThread() const { return std::this_thread::get_id() == thread_; }

 private:
  struct Item {
    Task task;
    AtShutdown at_shutdown;
  };
  // The state the window procedure reaches; shared so that a task that shuts the runner down
  // (by destroying the engine) does not pull it from under the loop that runs it.
  struct Core;

  explicit UiTaskRunner(std::shared_ptr<Core> core);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  std::shared_ptr<Core> core_;
  std::thread::id thread_;
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_UI_TASK_RUNNER_H_
