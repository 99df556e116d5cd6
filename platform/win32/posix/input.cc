// The mouse capture, the key state, the window under a point and the routing of simulated
// input.
#include "platform/win32/posix/input.h"

#include <array>
#include <memory>
#include <mutex>

#include "platform/win32/posix/state.h"

namespace win32_posix {
namespace {

// The down state of each virtual key, as the input delivered so far left it. Guarded by
// GlobalLock().
std::array<bool, 256>& KeysDown() {
  static std::array<bool, 256> keys{};
  return keys;
}

void SetKeyDown(WPARAM virtual_key, bool down) {
  if (virtual_key >= 256) return;
  std::lock_guard<std::mutex> lock(GlobalLock());
  KeysDown()[virtual_key] = down;
}

bool ContainsLocked(const Window& window, POINT point) {
  const POINT origin = ScreenOriginLocked(window);
  const LONG width = window.rect.right - window.rect.left;
  const LONG height = window.rect.bottom - window.rect.top;
  return point.x >= origin.x && point.y >= origin.y && point.x - origin.x < width &&
         point.y - origin.y < height;
}

// The deepest visible, enabled window at `point` inside `window` (which contains it).
HWND DeepestAtLocked(const std::shared_ptr<Window>& window, POINT point) {
  for (HWND child_handle : window->children) {
    std::shared_ptr<Window> child = FindWindowLocked(child_handle);
    if (!child || !(child->style & WS_VISIBLE) || (child->style & WS_DISABLED)) continue;
    if (ContainsLocked(*child, point)) return DeepestAtLocked(child, point);
  }
  return window->handle;
}

// The visible window at `point` (screen coordinates); null when there is none.
HWND WindowFromPointLocked(POINT point) {
  // The newest top-level window is taken to be the topmost.
  std::shared_ptr<Window> top;
  for (const auto& [key, window] : GetTables().windows) {
    if (window->parent != nullptr || window->message_only) continue;
    if (!(window->style & WS_VISIBLE) || !ContainsLocked(*window, point)) continue;
    top = window;
  }
  return top ? DeepestAtLocked(top, point) : nullptr;
}

}  // namespace

HWND InjectMouseInput(POINT screen_point, UINT message, WORD key_state, short wheel_delta,
                      HWND top_level) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      SetKeyDown(VK_LBUTTON, message == WM_LBUTTONDOWN);
      break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      SetKeyDown(VK_RBUTTON, message == WM_RBUTTONDOWN);
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      SetKeyDown(VK_MBUTTON, message == WM_MBUTTONDOWN);
      break;
    default:
      break;
  }
  HWND target = nullptr;
  POINT client = screen_point;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    for (const auto& [id, weak] : GetTables().queues) {
      std::shared_ptr<ThreadQueue> queue = weak.lock();
      if (queue && queue->capture != nullptr) {
        target = queue->capture;
        break;
      }
    }
    if (target == nullptr && top_level != nullptr) {
      std::shared_ptr<Window> top = FindWindowLocked(top_level);
      if (!top) return nullptr;
      target = ContainsLocked(*top, screen_point) ? DeepestAtLocked(top, screen_point) : top_level;
    }
    if (target == nullptr) {
      target = WindowFromPointLocked(screen_point);
    }
    if (target == nullptr) return nullptr;
    if (std::shared_ptr<Window> found = FindWindowLocked(target)) {
      const POINT origin = ScreenOriginLocked(*found);
      client.x -= origin.x;
      client.y -= origin.y;
    }
  }
  const POINT at = message == WM_MOUSEWHEEL ? screen_point : client;
  const WPARAM wparam =
      MAKEWPARAM(key_state, message == WM_MOUSEWHEEL ? static_cast<WORD>(wheel_delta) : 0);
  const LPARAM lparam = MAKELPARAM(static_cast<WORD>(at.x), static_cast<WORD>(at.y));
  return PostMessageW(target, message, wparam, lparam) ? target : nullptr;
}

HWND InjectKeyInput(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) SetKeyDown(wparam, true);
  if (message == WM_KEYUP || message == WM_SYSKEYUP) SetKeyDown(wparam, false);
  // Keyboard input goes to the focus of the thread that owns the foreground window.
  const HWND foreground = GetForegroundWindow();
  HWND target = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    if (std::shared_ptr<Window> found = FindWindowLocked(foreground)) target = found->queue->focus;
  }
  if (target == nullptr) return nullptr;
  return PostMessageW(target, message, wparam, lparam) ? target : nullptr;
}

}  // namespace win32_posix

using namespace win32_posix;

extern "C" {

HWND WINAPI SetCapture(HWND window) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    // Only a window of the calling thread can take its capture.
    if (!found || found->queue != queue) return nullptr;
    previous = queue->capture;
    if (previous == window) return previous;
    queue->capture = window;
  }
  if (previous != nullptr) {
    SendMessageW(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
  }
  return previous;
}

BOOL WINAPI ReleaseCapture(void) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    previous = queue->capture;
    queue->capture = nullptr;
  }
  if (previous != nullptr) SendMessageW(previous, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND WINAPI GetCapture(void) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  std::lock_guard<std::mutex> lock(GlobalLock());
  return queue->capture;
}

SHORT WINAPI GetKeyState(int virtual_key) {
  if (virtual_key < 0 || virtual_key >= 256) return 0;
  std::lock_guard<std::mutex> lock(GlobalLock());
  return KeysDown()[static_cast<size_t>(virtual_key)] ? static_cast<SHORT>(0x8000) : 0;
}

HWND WINAPI WindowFromPoint(POINT point) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  return WindowFromPointLocked(point);
}

}  // extern "C"
