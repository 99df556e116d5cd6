// Window geometry, visibility, activation and focus, and the per-window DPI.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/win32/posix/presentation.h"
#include "platform/win32/posix/state.h"
#include "platform/win32/posix/window_ops.h"

namespace win32_posix {
namespace {

// SetWindowPos flags that Windows keeps for itself: the client area did not move or resize.
constexpr UINT kNoClientSize = 0x0800;
constexpr UINT kNoClientMove = 0x1000;

// Where Windows puts minimized top-level windows.
constexpr LONG kMinimizedPosition = -32000;

// The last window activated in the process, for GetForegroundWindow.
HWND g_foreground = nullptr;  // Guarded by GlobalLock().

bool IsMinimized(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_MINIMIZE) != 0; }

// Makes `window` (a top-level window of this thread, or null) the thread's active window,
// with WM_NCACTIVATE and WM_ACTIVATE to the window losing and the window gaining activation.
// Afterwards the focus is inside the active window, or nowhere when none is active.
void Activate(HWND window) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    previous = queue->active;
    if (previous == window) return;
    queue->active = window;
    if (window != nullptr) g_foreground = window;
    if (window == nullptr && g_foreground == previous) g_foreground = nullptr;
  }
  if (previous != nullptr && IsWindow(previous)) {
    SendMessageW(previous, WM_NCACTIVATE, FALSE, 0);
    SendMessageW(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsMinimized(previous)),
                 reinterpret_cast<LPARAM>(window));
  }
  if (window != nullptr && IsWindow(window)) {
    SendMessageW(window, WM_NCACTIVATE, TRUE, 0);
    SendMessageW(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, IsMinimized(window)),
                 reinterpret_cast<LPARAM>(previous));
  }
  HWND focus = nullptr;
  HWND active = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    focus = queue->focus;
    active = queue->active;
  }
  if (active != window) return;  // Activation moved on while the messages were handled.
  if (window == nullptr) {
    if (focus != nullptr) SetFocus(nullptr);
  } else if (focus == nullptr || GetAncestor(focus, GA_ROOT) != window) {
    SetFocus(window);
  }
}

// The DPI of a top-level window follows the monitor it is on. When a move takes it to a
// monitor of another DPI, the window gets WM_DPICHANGED with a suggested rectangle: the same
// origin, the size scaled to the new DPI.
void CheckDpiChange(HWND window) {
  UINT old_dpi = 0;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found || found->in_dpi_change || found->parent != nullptr || found->message_only ||
        (found->style & WS_MINIMIZE)) {
      return;
    }
    old_dpi = found->dpi;
  }
  const RECT rect = ScreenRect(window);
  const UINT new_dpi = DpiForRect(rect);
  if (new_dpi == old_dpi || old_dpi == 0) return;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return;
    found->dpi = new_dpi;
    found->in_dpi_change = true;
  }
  const auto scale = [&](int64_t length) { return length * new_dpi / old_dpi; };
  RECT suggested = RectFromOriginAndSize(rect.left, rect.top,
                                         scale(static_cast<int64_t>(rect.right) - rect.left),
                                         scale(static_cast<int64_t>(rect.bottom) - rect.top));
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(new_dpi, new_dpi),
               reinterpret_cast<LPARAM>(&suggested));
  std::lock_guard<std::mutex> lock(GlobalLock());
  if (std::shared_ptr<Window> found = FindWindowLocked(window)) found->in_dpi_change = false;
}

BOOL SetWindowPosOnOwnerThread(HWND window, HWND insert_after, int x, int y, int cx, int cy,
                               UINT flags) {
  RECT old{};
  bool was_visible = false;
  bool top_level = false;
  bool presented = false;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    old = found->rect;
    presented = found->presented;
    was_visible = (found->style & WS_VISIBLE) != 0;
    top_level = found->parent == nullptr && !found->message_only;
  }
  WINDOWPOS position{window, insert_after, x, y, cx, cy, flags};
  const auto settle = [&] {
    if (position.flags & SWP_NOMOVE) {
      position.x = old.left;
      position.y = old.top;
    }
    if (position.flags & SWP_NOSIZE) {
      position.cx = old.right - old.left;
      position.cy = old.bottom - old.top;
    }
    position.cx = std::max(position.cx, 0);
    position.cy = std::max(position.cy, 0);
  };
  settle();
  if (!(flags & SWP_NOSENDCHANGING)) {
    SendMessageW(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&position));
    position.hwnd = window;
    settle();
  }
  const RECT now = RectFromOriginAndSize(position.x, position.y, position.cx, position.cy);
  const bool moved = now.left != old.left || now.top != old.top;
  const bool sized =
      now.right - now.left != old.right - old.left || now.bottom - now.top != old.bottom - old.top;
  const bool show = (position.flags & SWP_SHOWWINDOW) && !was_visible;
  const bool hide = (position.flags & SWP_HIDEWINDOW) && was_visible;
  if (!moved) position.flags |= SWP_NOMOVE | kNoClientMove;
  if (!sized) position.flags |= SWP_NOSIZE | kNoClientSize;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return FALSE;
    found->rect = now;
    if (show) found->style |= WS_VISIBLE;
    if (hide) found->style &= ~static_cast<DWORD>(WS_VISIBLE);
  }
  if (presented && (moved || sized)) Presentation().WindowMoved(window, ScreenRect(window));
  if (presented && (show || hide)) Presentation().WindowShown(window, show);
  if (hide) ReleaseFocusAndActivation(window);
  if (top_level && !(position.flags & SWP_NOACTIVATE) && IsWindowVisible(window)) {
    Activate(window);
  }
  const bool changed = moved || sized || show || hide || (position.flags & SWP_FRAMECHANGED) ||
                       !(position.flags & SWP_NOZORDER);
  if (changed && IsWindow(window)) {
    SendMessageW(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
  }
  if (top_level && (moved || sized)) CheckDpiChange(window);
  return TRUE;
}

BOOL ShowWindowOnOwnerThread(HWND window, int command) {
  DWORD style = 0;
  bool top_level = false;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    style = found->style;
    top_level = found->parent == nullptr && !found->message_only;
  }
  const bool was_visible = (style & WS_VISIBLE) != 0;
  const bool show = command != SW_HIDE;
  DWORD state = style & (WS_MINIMIZE | WS_MAXIMIZE);
  bool activate = top_level && show;
  switch (command) {
    case SW_SHOWMINIMIZED:
      state = WS_MINIMIZE;
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      state = WS_MINIMIZE;
      activate = false;
      break;
    case SW_SHOWMAXIMIZED:
      state = WS_MAXIMIZE;
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
      state = 0;
      break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
      activate = false;
      break;
    default:
      break;
  }
  // A change of state moves the window: maximized it fills its monitor (a child, its parent's
  // client area); minimized it has no client area and lies far off screen, as on Windows;
  // restored it returns to where it was before.
  const DWORD old_state = style & (WS_MINIMIZE | WS_MAXIMIZE);
  std::optional<RECT> target;
  if (state != old_state) {
    RECT area{};
    if (state == WS_MAXIMIZE) {
      HWND parent = GetAncestor(window, GA_PARENT);
      if (parent != nullptr) {
        GetClientRect(parent, &area);
      } else {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
        area = info.rcWork;
      }
    }
    std::lock_guard<std::mutex> lock(GlobalLock());
    if (std::shared_ptr<Window> found = FindWindowLocked(window)) {
      if (old_state == 0) found->restore_rect = found->rect;
      found->style = (found->style & ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE)) | state;
      if (state == WS_MAXIMIZE) target = area;
      if (state == WS_MINIMIZE)
        target =
            RECT{kMinimizedPosition, kMinimizedPosition, kMinimizedPosition, kMinimizedPosition};
      if (state == 0) target = found->restore_rect;
    }
  }
  if (state == WS_MINIMIZE) ReleaseFocusAndActivation(window);
  if (show != was_visible) SendMessageW(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  if (!IsWindow(window)) return was_visible;
  UINT flags = SWP_NOZORDER;
  flags |= show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
  if (!activate) flags |= SWP_NOACTIVATE;
  if (target) {
    SetWindowPosOnOwnerThread(window, nullptr, target->left, target->top,
                              target->right - target->left, target->bottom - target->top, flags);
  } else if (show != was_visible || activate) {
    SetWindowPosOnOwnerThread(window, nullptr, 0, 0, 0, 0, flags | SWP_NOSIZE | SWP_NOMOVE);
  }
  return was_visible;
}

}  // namespace

void SendMoveAndSize(HWND window, const WINDOWPOS& position) {
  RECT rect{};
  DWORD style = 0;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return;
    rect = found->rect;
    style = found->style;
  }
  if (!(position.flags & kNoClientMove)) {
    SendMessageW(window, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
  }
  if (!(position.flags & kNoClientSize)) {
    const WPARAM kind = (style & WS_MINIMIZE)   ? SIZE_MINIMIZED
                        : (style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                                : SIZE_RESTORED;
    SendMessageW(window, WM_SIZE, kind, MAKELPARAM(rect.right - rect.left, rect.bottom - rect.top));
  }
}

void ReleaseFocusAndActivation(HWND window) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  bool focus_inside = false;
  bool active = false;
  HWND parent = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    focus_inside = queue->focus != nullptr && IsSelfOrDescendantLocked(queue->focus, window);
    active = queue->active == window;
    if (std::shared_ptr<Window> found = FindWindowLocked(window)) parent = found->parent;
  }
  if (focus_inside) SetFocus(parent);
  if (active) Activate(nullptr);
}

RECT ScreenRect(HWND window) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) return RECT{};
  const POINT origin = ScreenOriginLocked(*found);
  return RectFromOriginAndSize(origin.x, origin.y,
                               static_cast<int64_t>(found->rect.right) - found->rect.left,
                               static_cast<int64_t>(found->rect.bottom) - found->rect.top);
}

}  // namespace win32_posix

using namespace win32_posix;

extern "C" {

BOOL WINAPI SetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  BOOL result = FALSE;
  if (!RunOnOwnerThread(window, [&] {
        result = SetWindowPosOnOwnerThread(window, insert_after, x, y, cx, cy, flags);
      })) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return result;
}

BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(window, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
  if (rect == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = RECT{0, 0, found->rect.right - found->rect.left, found->rect.bottom - found->rect.top};
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  if (rect == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = ScreenRect(window);
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND window, LPPOINT point) {
  if (point == nullptr || !IsWindow(window)) return FALSE;
  const RECT rect = ScreenRect(window);
  point->x += rect.left;
  point->y += rect.top;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND window, LPPOINT point) {
  if (point == nullptr || !IsWindow(window)) return FALSE;
  const RECT rect = ScreenRect(window);
  point->x -= rect.left;
  point->y -= rect.top;
  return TRUE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD) {
  // Windows have no frame here, so the window rectangle is the client rectangle.
  return rect != nullptr;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL) {
  if (window == nullptr) return TRUE;
  HWND root = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return FALSE;
    std::shared_ptr<Window> top = RootLocked(found);
    if (top->presented) root = top->handle;
  }
  // The backend repaints the top-level window that shows it.
  if (root != nullptr) Presentation().WindowInvalidated(root, window);
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND window) { return IsWindow(window); }

BOOL WINAPI ShowWindow(HWND window, int command) {
  BOOL result = FALSE;
  if (!RunOnOwnerThread(window, [&] { result = ShowWindowOnOwnerThread(window, command); })) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return result;
}

BOOL WINAPI IsWindowVisible(HWND window) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) return FALSE;
  while (found) {
    if (!(found->style & WS_VISIBLE)) return FALSE;
    if (found->parent == nullptr) return TRUE;
    found = FindWindowLocked(found->parent);
  }
  return FALSE;
}

HWND WINAPI SetFocus(HWND window) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    if (window != nullptr) {
      std::shared_ptr<Window> found = FindWindowLocked(window);
      if (!found) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      // Focus is per thread: a window of another thread cannot take this thread's focus.
      if (found->queue != queue) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
    }
    previous = queue->focus;
    if (previous == window) return previous;
    queue->focus = window;
  }
  if (previous != nullptr && IsWindow(previous)) {
    SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  }
  if (window != nullptr && GetFocus() == window) {
    SendMessageW(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  }
  return previous;
}

HWND WINAPI GetFocus(void) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  std::lock_guard<std::mutex> lock(GlobalLock());
  return queue->focus;
}

HWND WINAPI SetActiveWindow(HWND window) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    previous = queue->active;
    if (window != nullptr) {
      std::shared_ptr<Window> found = FindWindowLocked(window);
      if (!found || found->queue != queue) {
        SetLastError(found ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      window = RootLocked(found)->handle;
    }
  }
  Activate(window);
  return previous;
}

HWND WINAPI GetActiveWindow(void) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  std::lock_guard<std::mutex> lock(GlobalLock());
  return queue->active;
}

BOOL WINAPI SetForegroundWindow(HWND window) {
  return RunOnOwnerThread(window, [&] { SetActiveWindow(window); }) ? TRUE : FALSE;
}

HWND WINAPI GetForegroundWindow(void) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  return FindWindowLocked(g_foreground) ? g_foreground : nullptr;
}

UINT WINAPI GetDpiForWindow(HWND window) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return RootLocked(found)->dpi;
}

}  // extern "C"
