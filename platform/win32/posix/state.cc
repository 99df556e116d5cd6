#include "platform/win32/posix/state.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "platform/win32/posix/presentation.h"

namespace win32_posix {
namespace {

thread_local DWORD t_last_error = 0;

// Owns the calling thread's queue. When the thread ends, work still waiting for it is
// finished unrun and its windows disappear without messages, as on Windows.
class QueueHolder {
 public:
  ~QueueHolder() {
    if (queue_) Retire();
  }

  const std::shared_ptr<ThreadQueue>& Get() {
    if (!queue_) {
      queue_ = std::make_shared<ThreadQueue>();
      queue_->thread_id = static_cast<DWORD>(gettid());
      std::lock_guard<std::mutex> lock(GlobalLock());
      GetTables().queues[queue_->thread_id] = queue_;
    }
    return queue_;
  }

 private:
  void Retire() {
    std::deque<std::shared_ptr<QueueTask>> tasks;
    {
      std::lock_guard<std::mutex> lock(queue_->mutex);
      queue_->alive = false;
      tasks.swap(queue_->tasks);
      queue_->posted.clear();
    }
    for (const auto& task : tasks) {
      if (task->finish) task->finish();
    }
    std::vector<HWND> removed_top_level;
    {
      std::lock_guard<std::mutex> lock(GlobalLock());
      Tables& tables = GetTables();
      std::vector<uintptr_t> removed;
      for (const auto& [key, window] : tables.windows) {
        if (window->queue == queue_) removed.push_back(key);
      }
      for (uintptr_t key : removed) {
        auto& window = tables.windows[key];
        window->window_class->window_count--;
        if (window->presented) removed_top_level.push_back(window->handle);
        tables.windows.erase(key);
      }
      for (const auto& [key, window] : tables.windows) {
        std::erase_if(window->children, [&](HWND child) {
          return tables.windows.count(reinterpret_cast<uintptr_t>(child)) == 0;
        });
        if (window->parent != nullptr &&
            tables.windows.count(reinterpret_cast<uintptr_t>(window->parent)) == 0) {
          window->parent = nullptr;
        }
      }
      tables.queues.erase(queue_->thread_id);
    }
    for (HWND window : removed_top_level) Presentation().WindowDestroyed(window);
    queue_.reset();
  }

  std::shared_ptr<ThreadQueue> queue_;
};

thread_local QueueHolder t_queue;

}  // namespace

std::mutex& GlobalLock() {
  // Never destroyed: threads may still use it while the process ends.
  static std::mutex* const lock = new std::mutex();
  return *lock;
}

Tables& GetTables() {
  static Tables* const tables = new Tables();
  return *tables;
}

std::shared_ptr<Window> FindWindowLocked(HWND handle) {
  Tables& tables = GetTables();
  auto it = tables.windows.find(reinterpret_cast<uintptr_t>(handle));
  if (it == tables.windows.end()) return nullptr;
  return it->second;
}

std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name_or_atom) {
  if (name_or_atom == nullptr) return nullptr;
  for (const auto& window_class : GetTables().classes) {
    if (IS_INTRESOURCE(name_or_atom)) {
      if (window_class->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name_or_atom))) {
        return window_class;
      }
    } else if (EqualsIgnoringCase(window_class->name, name_or_atom)) {
      return window_class;
    }
  }
  return nullptr;
}

namespace {

LONG Clamp(int64_t value) {
  return static_cast<LONG>(std::clamp<int64_t>(value, std::numeric_limits<LONG>::min(),
                                               std::numeric_limits<LONG>::max()));
}

}  // namespace

RECT RectFromOriginAndSize(int64_t x, int64_t y, int64_t width, int64_t height) {
  return RECT{Clamp(x), Clamp(y), Clamp(x + width), Clamp(y + height)};
}

POINT ScreenOriginLocked(const Window& window) {
  int64_t x = window.rect.left;
  int64_t y = window.rect.top;
  HWND parent = window.parent;
  while (parent != nullptr) {
    std::shared_ptr<Window> found = FindWindowLocked(parent);
    if (!found) break;
    x += found->rect.left;
    y += found->rect.top;
    parent = found->parent;
  }
  return POINT{Clamp(x), Clamp(y)};
}

std::shared_ptr<Window> RootLocked(const std::shared_ptr<Window>& window) {
  std::shared_ptr<Window> current = window;
  while (current && current->parent != nullptr) {
    std::shared_ptr<Window> parent = FindWindowLocked(current->parent);
    if (!parent) break;
    current = parent;
  }
  return current;
}

bool IsSelfOrDescendantLocked(HWND window, HWND ancestor) {
  while (window != nullptr) {
    if (window == ancestor) return true;
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return false;
    window = found->parent;
  }
  return false;
}

const std::shared_ptr<ThreadQueue>& CurrentQueue() { return t_queue.Get(); }

bool QueueTaskOn(const std::shared_ptr<ThreadQueue>& queue, std::shared_ptr<QueueTask> task) {
  std::lock_guard<std::mutex> lock(queue->mutex);
  if (!queue->alive) return false;
  queue->tasks.push_back(std::move(task));
  queue->wake.notify_all();
  return true;
}

bool RunOneTask(ThreadQueue& queue) {
  std::shared_ptr<QueueTask> task;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    if (queue.tasks.empty()) return false;
    task = std::move(queue.tasks.front());
    queue.tasks.pop_front();
  }
  if (task->run) task->run();
  if (task->finish) task->finish();
  return true;
}

bool RunOnOwnerThread(HWND window, const std::function<void()>& work) {
  std::shared_ptr<ThreadQueue> target;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return false;
    target = found->queue;
  }
  const std::shared_ptr<ThreadQueue>& self = CurrentQueue();
  if (target == self) {
    work();
    return true;
  }
  // The caller waits until `finish` has run, so the task may refer to `work` and `state`.
  struct State {
    bool ran = false;
    bool done = false;
  } state;
  auto task = std::make_shared<QueueTask>();
  task->run = [&work, &state] {
    work();
    state.ran = true;
  };
  task->finish = [&state, self] {
    std::lock_guard<std::mutex> lock(self->mutex);
    state.done = true;
    self->wake.notify_all();
  };
  if (!QueueTaskOn(target, task)) return false;
  std::unique_lock<std::mutex> lock(self->mutex);
  while (!state.done) {
    if (!self->tasks.empty()) {
      lock.unlock();
      RunOneTask(*self);
      lock.lock();
      continue;
    }
    self->wake.wait(lock);
  }
  return state.ran;
}

LRESULT CallProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WNDPROC procedure = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (found) procedure = found->procedure;
  }
  if (procedure == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return procedure(window, message, wparam, lparam);
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i];
    wchar_t y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - L'a' + L'A');
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - L'a' + L'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace win32_posix

extern "C" {

DWORD WINAPI GetLastError(void) { return win32_posix::t_last_error; }

void WINAPI SetLastError(DWORD error) { win32_posix::t_last_error = error; }

}  // extern "C"
