// The per-thread message queue: posting, sending, retrieving and dispatching messages.
#include <windows.h>

#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/posix/state.h"
#include "platform/win32/posix/window_ops.h"

namespace win32_posix {
namespace {

// The message filter of GetMessageW and PeekMessageW.
struct Filter {
  HWND window;
  UINT first;
  UINT last;
};

bool InRange(const Filter& filter, UINT message) {
  if (filter.first == 0 && filter.last == 0) return true;
  return message >= filter.first && message <= filter.last;
}

// The caller holds the queue's mutex (the global lock may be taken after it).
bool Matches(const Filter& filter, const MSG& msg) {
  if (!InRange(filter, msg.message)) return false;
  if (filter.window == nullptr) return true;
  if (filter.window == reinterpret_cast<HWND>(-1)) return msg.hwnd == nullptr;
  if (msg.hwnd == nullptr) return false;
  std::lock_guard<std::mutex> lock(GlobalLock());
  return IsSelfOrDescendantLocked(msg.hwnd, filter.window);
}

// Messages whose parameters point into the sender's memory cannot be posted.
bool IsSendOnly(UINT message) {
  switch (message) {
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_NCCALCSIZE:
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETMINMAXINFO:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_STYLECHANGING:
    case WM_STYLECHANGED:
      return true;
    default:
      return false;
  }
}

bool PostToQueue(const std::shared_ptr<ThreadQueue>& queue, HWND window, UINT message,
                 WPARAM wparam, LPARAM lparam) {
  std::lock_guard<std::mutex> lock(queue->mutex);
  if (!queue->alive) return false;
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wparam;
  msg.lParam = lparam;
  msg.time = GetTickCount();
  queue->posted.push_back(msg);
  queue->wake.notify_all();
  return true;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  std::lock_guard<std::mutex> lock(GlobalLock());
  for (const auto& [key, window] : GetTables().windows) {
    if (window->parent == nullptr && !window->message_only) windows.push_back(window->handle);
  }
  return windows;
}

// Retrieval for GetMessageW (wait) and PeekMessageW. Work sent from other threads runs first;
// then the first matching posted message; WM_QUIT only when no posted message matches.
// Returns -1 for an invalid window filter.
int Retrieve(MSG* msg, const Filter& filter, bool wait, bool remove) {
  if (msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (filter.window != nullptr && filter.window != reinterpret_cast<HWND>(-1) &&
      !IsWindow(filter.window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  ThreadQueue& queue = *CurrentQueue();
  for (;;) {
    while (RunOneTask(queue)) {
    }
    std::unique_lock<std::mutex> lock(queue.mutex);
    if (!queue.tasks.empty()) continue;
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
      if (!Matches(filter, *it)) continue;
      *msg = *it;
      if (remove) queue.posted.erase(it);
      return 1;
    }
    const bool any_window = filter.window == nullptr || filter.window == reinterpret_cast<HWND>(-1);
    if (queue.quit_posted && any_window) {
      *msg = MSG{};
      msg->message = WM_QUIT;
      msg->wParam = static_cast<WPARAM>(queue.quit_code);
      msg->time = GetTickCount();
      if (remove) queue.quit_posted = false;
      return 1;
    }
    if (!wait) return 0;
    queue.wake.wait(lock);
  }
}

}  // namespace
}  // namespace win32_posix

using namespace win32_posix;

extern "C" {

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (IsSendOnly(message)) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return FALSE;
  }
  if (window == nullptr) return PostToQueue(CurrentQueue(), nullptr, message, wparam, lparam);
  if (window == HWND_BROADCAST) {
    for (HWND top_level : TopLevelWindows()) PostMessageW(top_level, message, wparam, lparam);
    return TRUE;
  }
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    queue = found->queue;
  }
  if (!PostToQueue(queue, window, message, wparam, lparam)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD thread_id, UINT message, WPARAM wparam, LPARAM lparam) {
  if (IsSendOnly(message)) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return FALSE;
  }
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    auto it = GetTables().queues.find(thread_id);
    if (it != GetTables().queues.end()) queue = it->second.lock();
  }
  if (!queue || !PostToQueue(queue, nullptr, message, wparam, lparam)) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  return TRUE;
}

void WINAPI PostQuitMessage(int exit_code) {
  NoteClosing();
  ThreadQueue& queue = *CurrentQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.quit_posted = true;
  queue.quit_code = exit_code;
  queue.wake.notify_all();
}

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (window == HWND_BROADCAST) {
    for (HWND top_level : TopLevelWindows()) SendMessageW(top_level, message, wparam, lparam);
    return 0;
  }
  LRESULT result = 0;
  if (!RunOnOwnerThread(window, [&] { result = CallProcedure(window, message, wparam, lparam); })) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return result;
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filter_min, UINT filter_max) {
  const int result = Retrieve(msg, Filter{window, filter_min, filter_max}, true, true);
  if (result < 0) return -1;
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT filter_min, UINT filter_max, UINT remove) {
  const int result =
      Retrieve(msg, Filter{window, filter_min, filter_max}, false, (remove & PM_REMOVE) != 0);
  return result > 0 ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  // There is no keyboard input to turn into character messages.
  (void)msg;
  return FALSE;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
  if (msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;  // A thread message: there is no window to call.
  const std::shared_ptr<ThreadQueue>& self = CurrentQueue();
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(msg->hwnd);
    if (!found) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (found->queue != self) {
      SetLastError(ERROR_MESSAGE_SYNC_ONLY);
      return 0;
    }
  }
  return CallProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

}  // extern "C"
