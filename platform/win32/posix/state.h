// The window manager's shared state: window classes, windows and the per-thread message
// queues, with the lock that guards them and the helpers every part of the layer uses.
#ifndef TERVALA_PLATFORM_WIN32_POSIX_STATE_H_
#define TERVALA_PLATFORM_WIN32_POSIX_STATE_H_

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace win32_posix {

// A registered window class.
struct WindowClass {
  std::wstring name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC procedure = nullptr;
  int class_extra = 0;
  int window_extra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HICON small_icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  int window_count = 0;  // Live windows of this class.
};

// Work handed to a thread's queue from elsewhere: a message sent from another thread, or a
// task of the presentation backend. `run` runs on the queue's thread inside its message
// loop; `finish` runs afterwards, or alone when the thread ends before it could run.
struct QueueTask {
  std::function<void()> run;
  std::function<void()> finish;
};

// The message queue of one thread.
struct ThreadQueue {
  DWORD thread_id = 0;

  // Guarded by `mutex`; `wake` is signalled whenever one of them changes.
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<QueueTask>> tasks;
  bool quit_posted = false;
  int quit_code = 0;
  bool alive = true;

  // Guarded by the global lock.
  HWND active = nullptr;
  HWND focus = nullptr;
  HWND capture = nullptr;
};

// A window.
struct Window {
  HWND handle = nullptr;
  std::shared_ptr<WindowClass> window_class;
  std::shared_ptr<ThreadQueue> queue;
  WNDPROC procedure = nullptr;
  DWORD style = 0;
  DWORD ex_style = 0;
  HWND parent = nullptr;  // Null for top-level and message-only windows.
  HWND owner = nullptr;
  bool message_only = false;
  std::vector<HWND> children;  // In creation order (top of the z-order first).
  RECT rect{};                 // In the parent's client coordinates; screen for top-level.
  std::wstring text;
  HINSTANCE instance = nullptr;
  LONG_PTR id = 0;
  LONG_PTR user_data = 0;
  std::vector<uint8_t> extra;
  std::map<DWORD, std::vector<uint8_t>> dwm_attributes;
  UINT dpi = USER_DEFAULT_SCREEN_DPI;  // Of the monitor the window was last on.
  bool destroying = false;             // WM_DESTROY has been sent.
  bool in_dpi_change = false;
  bool presented = false;  // The presentation backend knows the window as a top-level one.
  RECT restore_rect{};     // Where a minimized or maximized window returns to.
};

// The lock that guards the tables below and the windows' fields. It is never held while a
// window procedure or the presentation backend runs. A queue's own mutex may be taken before
// it, never after.
std::mutex& GlobalLock();

// Tables, guarded by GlobalLock().
struct Tables {
  std::map<uintptr_t, std::shared_ptr<Window>> windows;
  std::vector<std::shared_ptr<WindowClass>> classes;
  std::map<DWORD, std::weak_ptr<ThreadQueue>> queues;
  uintptr_t next_handle = 0x20000;
  ATOM next_atom = 0xC000;
};
Tables& GetTables();

// Lookups; the caller holds GlobalLock().
std::shared_ptr<Window> FindWindowLocked(HWND handle);
std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name_or_atom);
// A rectangle from an origin and a size, its edges kept inside the 32-bit range.
RECT RectFromOriginAndSize(int64_t x, int64_t y, int64_t width, int64_t height);

// The window's origin in screen coordinates.
POINT ScreenOriginLocked(const Window& window);
// The top-level window above `window` (itself when it is top-level).
std::shared_ptr<Window> RootLocked(const std::shared_ptr<Window>& window);
// True when `window` is `ancestor` or lies below it.
bool IsSelfOrDescendantLocked(HWND window, HWND ancestor);

// The calling thread's queue, created on first use.
const std::shared_ptr<ThreadQueue>& CurrentQueue();

// Runs `work` on the thread that owns `window` and waits for it; runs it at once when that is
// the calling thread. While waiting, the caller's thread handles work sent to it, so two
// threads sending to each other do not deadlock. False when the window or its thread is gone.
bool RunOnOwnerThread(HWND window, const std::function<void()>& work);

// Queues `task` on `queue` and wakes its thread. False when that thread has ended.
bool QueueTaskOn(const std::shared_ptr<ThreadQueue>& queue, std::shared_ptr<QueueTask> task);

// Runs one pending task of the calling thread's queue; false when there was none.
bool RunOneTask(ThreadQueue& queue);

// Calls the window procedure of `window` on the calling thread (which must own it).
LRESULT CallProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// UTF conversions of the layer (malformed input becomes U+FFFD).
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// As FromUtf8, but each byte of a malformed sequence becomes the lone surrogate U+DC00 +
// byte instead of U+FFFD: text that was not UTF-8 stays recognisably invalid, so a strict
// conversion back (WC_ERR_INVALID_CHARS) fails as it does for invalid UTF-16 on Windows.
std::wstring FromUtf8KeepingBadBytes(const std::string& text);

// Case-insensitive comparison of ASCII letters in wide strings (class names, registry keys).
bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b);

}  // namespace win32_posix

#endif  // TERVALA_PLATFORM_WIN32_POSIX_STATE_H_
