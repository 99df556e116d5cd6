// Window classes, window creation and destruction, the window tree, window longs, window
// text and the default window procedure.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/posix/presentation.h"
#include "platform/win32/posix/state.h"
#include "platform/win32/posix/window_ops.h"

namespace win32_posix {
namespace {

constexpr int kDefaultOffset = 26;

bool IsTopLevelLocked(const Window& window) {
  return window.parent == nullptr && !window.message_only;
}

ATOM RegisterClassCommon(const WNDCLASSEXW& desc) {
  if (desc.lpszClassName == nullptr || IS_INTRESOURCE(desc.lpszClassName) ||
      desc.lpszClassName[0] == L'\0' || desc.lpfnWndProc == nullptr || desc.cbClsExtra < 0 ||
      desc.cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> lock(GlobalLock());
  Tables& tables = GetTables();
  if (FindClassLocked(desc.lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  // Class atoms come from 0xC000-0xFFFF, as on Windows; a freed atom is used again later.
  ATOM atom = 0;
  for (int attempt = 0; attempt < 0x4000; ++attempt) {
    const ATOM candidate = tables.next_atom;
    tables.next_atom =
        tables.next_atom == 0xFFFF ? 0xC000 : static_cast<ATOM>(tables.next_atom + 1);
    if (!FindClassLocked(MAKEINTATOM(candidate))) {
      atom = candidate;
      break;
    }
  }
  if (atom == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  auto window_class = std::make_shared<WindowClass>();
  window_class->name = desc.lpszClassName;
  window_class->atom = atom;
  window_class->style = desc.style;
  window_class->procedure = desc.lpfnWndProc;
  window_class->class_extra = desc.cbClsExtra;
  window_class->window_extra = desc.cbWndExtra;
  window_class->instance = desc.hInstance != nullptr ? desc.hInstance : GetModuleHandleW(nullptr);
  window_class->icon = desc.hIcon;
  window_class->small_icon = desc.hIconSm;
  window_class->cursor = desc.hCursor;
  window_class->background = desc.hbrBackground;
  tables.classes.push_back(std::move(window_class));
  return atom;
}

// WM_PARENTNOTIFY for the creation or destruction of a child, to its parent and on up while
// the windows are children that do not opt out.
void SendParentNotify(HWND window, UINT event) {
  HWND current = window;
  for (;;) {
    HWND parent = nullptr;
    LONG_PTR id = 0;
    {
      std::lock_guard<std::mutex> lock(GlobalLock());
      std::shared_ptr<Window> found = FindWindowLocked(current);
      if (!found || (found->style & WS_CHILD) == 0 || (found->ex_style & WS_EX_NOPARENTNOTIFY)) {
        return;
      }
      parent = found->parent;
      id = found->id;
    }
    if (parent == nullptr) return;
    SendMessageW(parent, WM_PARENTNOTIFY, MAKEWPARAM(event, static_cast<WORD>(id)),
                 reinterpret_cast<LPARAM>(window));
    current = parent;
  }
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  return found ? found->children : std::vector<HWND>();
}

// WM_DESTROY to the window, then to its children: while a window handles it, its children
// still exist.
void SendDestroyMessages(HWND window) {
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return;
    found->destroying = true;
  }
  ReleaseFocusAndActivation(window);
  SendMessageW(window, WM_DESTROY, 0, 0);
  for (HWND child : ChildrenOf(window)) {
    if (IsWindow(child)) SendDestroyMessages(child);
  }
}

// WM_NCDESTROY to the children, then to the window, and each one leaves the tables.
void FreeWindowTree(HWND window) {
  for (HWND child : ChildrenOf(window)) {
    if (IsWindow(child)) FreeWindowTree(child);
  }
  SendMessageW(window, WM_NCDESTROY, 0, 0);
  std::shared_ptr<Window> removed;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    Tables& tables = GetTables();
    removed = FindWindowLocked(window);
    if (!removed) return;
    tables.windows.erase(reinterpret_cast<uintptr_t>(window));
    if (std::shared_ptr<Window> parent = FindWindowLocked(removed->parent)) {
      std::erase(parent->children, window);
    }
    for (const auto& [key, other] : tables.windows) {
      if (other->owner == window) other->owner = nullptr;
      if (other->parent == window) other->parent = nullptr;
    }
    removed->window_class->window_count--;
    for (const auto& [id, queue] : tables.queues) {
      if (std::shared_ptr<ThreadQueue> live = queue.lock()) {
        if (live->active == window) live->active = nullptr;
        if (live->focus == window) live->focus = nullptr;
        if (live->capture == window) live->capture = nullptr;
      }
    }
  }
  // Messages still queued for the window go with it.
  {
    std::lock_guard<std::mutex> lock(removed->queue->mutex);
    std::erase_if(removed->queue->posted, [&](const MSG& msg) { return msg.hwnd == window; });
  }
  if (removed->presented) Presentation().WindowDestroyed(window);
}

void StoreText(HWND window, LPCWSTR text) {
  bool top_level = false;
  std::string title;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return;
    found->text = text != nullptr ? text : L"";
    top_level = found->presented;
    if (top_level) title = ToUtf8(found->text);
  }
  if (top_level) Presentation().WindowTitled(window, title);
}

// Introduces a window that has become top-level to the presentation backend: its title and
// rectangle, then its DWM attributes and its visibility.
void Present(HWND window) {
  std::string title;
  std::map<DWORD, std::vector<uint8_t>> attributes;
  bool visible = false;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) return;
    found->presented = true;
    title = ToUtf8(found->text);
    attributes = found->dwm_attributes;
    visible = (found->style & WS_VISIBLE) != 0;
  }
  PresentationBackend& backend = Presentation();
  backend.WindowCreated(window, title, ScreenRect(window));
  for (const auto& [attribute, value] : attributes) {
    backend.WindowAttributeSet(window, attribute, value);
  }
  if (visible) backend.WindowShown(window, true);
}

}  // namespace

std::string TitleUtf8(HWND window) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  return found ? ToUtf8(found->text) : std::string();
}

}  // namespace win32_posix

using namespace win32_posix;

extern "C" {

ATOM WINAPI RegisterClassW(const WNDCLASSW* window_class) {
  if (window_class == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSEXW ex{};
  ex.cbSize = sizeof(ex);
  ex.style = window_class->style;
  ex.lpfnWndProc = window_class->lpfnWndProc;
  ex.cbClsExtra = window_class->cbClsExtra;
  ex.cbWndExtra = window_class->cbWndExtra;
  ex.hInstance = window_class->hInstance;
  ex.hIcon = window_class->hIcon;
  ex.hCursor = window_class->hCursor;
  ex.hbrBackground = window_class->hbrBackground;
  ex.lpszMenuName = window_class->lpszMenuName;
  ex.lpszClassName = window_class->lpszClassName;
  return RegisterClassCommon(ex);
}

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* window_class) {
  if (window_class == nullptr || window_class->cbSize != sizeof(WNDCLASSEXW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return RegisterClassCommon(*window_class);
}

BOOL WINAPI UnregisterClassW(LPCWSTR class_name, HINSTANCE) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<WindowClass> found = FindClassLocked(class_name);
  if (!found) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (found->window_count > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  std::erase(GetTables().classes, found);
  return TRUE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR class_name, LPWNDCLASSEXW window_class) {
  if (window_class == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<WindowClass> found = FindClassLocked(class_name);
  if (!found) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  window_class->cbSize = sizeof(WNDCLASSEXW);
  window_class->style = found->style;
  window_class->lpfnWndProc = found->procedure;
  window_class->cbClsExtra = found->class_extra;
  window_class->cbWndExtra = found->window_extra;
  window_class->hInstance = found->instance;
  window_class->hIcon = found->icon;
  window_class->hCursor = found->cursor;
  window_class->hbrBackground = found->background;
  window_class->lpszMenuName = nullptr;
  window_class->lpszClassName = class_name;
  window_class->hIconSm = found->small_icon;
  return found->atom;
}

BOOL WINAPI GetClassInfoW(HINSTANCE instance, LPCWSTR class_name, LPWNDCLASSW window_class) {
  if (window_class == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WNDCLASSEXW ex{};
  const BOOL found = GetClassInfoExW(instance, class_name, &ex);
  if (!found) return FALSE;
  window_class->style = ex.style;
  window_class->lpfnWndProc = ex.lpfnWndProc;
  window_class->cbClsExtra = ex.cbClsExtra;
  window_class->cbWndExtra = ex.cbWndExtra;
  window_class->hInstance = ex.hInstance;
  window_class->hIcon = ex.hIcon;
  window_class->hCursor = ex.hCursor;
  window_class->hbrBackground = ex.hbrBackground;
  window_class->lpszMenuName = nullptr;
  window_class->lpszClassName = class_name;
  return found;
}

int WINAPI GetClassNameW(HWND window, LPWSTR class_name, int max_count) {
  std::wstring name;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    name = found->window_class->name;
  }
  if (class_name == nullptr || max_count <= 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const size_t count = std::min(name.size(), static_cast<size_t>(max_count - 1));
  name.copy(class_name, count);
  class_name[count] = L'\0';
  return static_cast<int>(count);
}

HWND WINAPI CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  const std::shared_ptr<ThreadQueue>& queue = CurrentQueue();
  auto window = std::make_shared<Window>();
  HWND handle = nullptr;
  const bool message_only = parent == HWND_MESSAGE;
  const bool child = (style & WS_CHILD) != 0 && !message_only;
  const RECT primary = CurrentMonitors().front().rect;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    Tables& tables = GetTables();
    std::shared_ptr<WindowClass> window_class = FindClassLocked(class_name);
    if (!window_class) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    std::shared_ptr<Window> parent_window;
    if (!message_only && parent != nullptr) {
      parent_window = FindWindowLocked(parent);
      if (!parent_window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
    }
    if (child && !parent_window) {
      SetLastError(ERROR_TLW_WITH_WSCHILD);
      return nullptr;
    }
    // Where the caller leaves position or size to the system, an overlapped window is placed
    // near the primary monitor's corner at three quarters of its size; others get zero.
    const bool overlapped = !child && !message_only && (style & WS_POPUP) == 0;
    if (x == CW_USEDEFAULT) {
      x = overlapped ? primary.left + kDefaultOffset : 0;
      y = overlapped ? primary.top + kDefaultOffset : 0;
    }
    if (width == CW_USEDEFAULT) {
      width = overlapped ? (primary.right - primary.left) * 3 / 4 : 0;
      height = overlapped ? (primary.bottom - primary.top) * 3 / 4 : 0;
    }
    width = std::max(width, 0);
    height = std::max(height, 0);

    handle = reinterpret_cast<HWND>(tables.next_handle);
    tables.next_handle += 4;
    window->handle = handle;
    window->window_class = window_class;
    window->queue = queue;
    window->procedure = window_class->procedure;
    window->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    // Windows clips every overlapped window against its siblings, asked for or not.
    if (overlapped) window->style |= WS_CLIPSIBLINGS;
    window->ex_style = ex_style;
    window->message_only = message_only;
    if (child) {
      window->parent = parent;
      window->id = reinterpret_cast<LONG_PTR>(menu);
      parent_window->children.push_back(handle);
    } else if (parent_window) {
      window->owner = RootLocked(parent_window)->handle;
    }
    window->rect = RectFromOriginAndSize(x, y, width, height);
    window->instance = instance;
    window->extra.assign(static_cast<size_t>(window_class->window_extra), 0);
    window_class->window_count++;
    tables.windows[reinterpret_cast<uintptr_t>(handle)] = window;
  }
  if (!child && !message_only) {
    EnsureCloseSignals();
    const UINT dpi = DpiForRect(ScreenRect(handle));
    std::lock_guard<std::mutex> lock(GlobalLock());
    window->dpi = dpi;
  }

  if (!child && !message_only) {
    const RECT& monitor = primary;
    MINMAXINFO limits{};
    limits.ptMaxSize = POINT{monitor.right - monitor.left, monitor.bottom - monitor.top};
    limits.ptMaxPosition = POINT{0, 0};
    limits.ptMinTrackSize = POINT{136, 39};
    limits.ptMaxTrackSize = POINT{limits.ptMaxSize.x + 16, limits.ptMaxSize.y + 16};
    SendMessageW(handle, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  }
  CREATESTRUCTW create{};
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.hMenu = menu;
  create.hwndParent = parent;
  create.cy = height;
  create.cx = width;
  create.y = y;
  create.x = x;
  create.style = static_cast<LONG>(style);
  create.lpszName = window_name;
  create.lpszClass = class_name;
  create.dwExStyle = ex_style;
  if (!SendMessageW(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
    FreeWindowTree(handle);
    return nullptr;
  }
  RECT client = RectFromOriginAndSize(x, y, width, height);
  SendMessageW(handle, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&client));
  if (SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (!IsWindow(handle)) return nullptr;  // Destroyed while it was being created.
  SendMessageW(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
  SendMessageW(handle, WM_MOVE, 0, MAKELPARAM(x, y));
  if (child) SendParentNotify(handle, WM_CREATE);
  if (!IsWindow(handle)) return nullptr;
  if (!child && !message_only) Present(handle);
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return IsWindow(handle) ? handle : nullptr;
}

BOOL WINAPI DestroyWindow(HWND window) {
  const std::shared_ptr<ThreadQueue>& self = CurrentQueue();
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(window);
    if (!found) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (found->queue != self) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (found->destroying) return TRUE;  // Already on its way out.
    if (found->parent == nullptr && !found->message_only) NoteClosing();
  }
  SendParentNotify(window, WM_DESTROY);
  if (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) {
    if (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) {
      ShowWindow(window, SW_HIDE);
    } else {
      SetWindowPos(window, nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (!IsWindow(window)) return TRUE;
  // Owned windows go first.
  std::vector<HWND> owned;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    for (const auto& [key, other] : GetTables().windows) {
      if (other->owner == window && other->queue == self) owned.push_back(other->handle);
    }
  }
  for (HWND other : owned) {
    if (IsWindow(other)) DestroyWindow(other);
  }
  if (!IsWindow(window)) return TRUE;
  SendDestroyMessages(window);
  if (IsWindow(window)) FreeWindowTree(window);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND window) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  return FindWindowLocked(window) != nullptr;
}

BOOL WINAPI IsChild(HWND parent, HWND window) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found || found->parent == nullptr) return FALSE;
  return IsSelfOrDescendantLocked(found->parent, parent);
}

HWND WINAPI GetParent(HWND window) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (found->parent != nullptr) return found->parent;
  return (found->style & WS_POPUP) ? found->owner : nullptr;
}

HWND WINAPI GetAncestor(HWND window, UINT flags) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  switch (flags) {
    case GA_PARENT:
      return found->parent;
    case GA_ROOT:
      return RootLocked(found)->handle;
    case GA_ROOTOWNER: {
      std::shared_ptr<Window> current = RootLocked(found);
      while (current->owner != nullptr) {
        std::shared_ptr<Window> owner = FindWindowLocked(current->owner);
        if (!owner) break;
        current = RootLocked(owner);
      }
      return current->handle;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

HWND WINAPI SetParent(HWND child, HWND new_parent) {
  HWND old_parent = nullptr;
  bool was_presented = false;
  bool now_top_level = false;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    std::shared_ptr<Window> found = FindWindowLocked(child);
    if (!found) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    const bool to_message = new_parent == HWND_MESSAGE;
    std::shared_ptr<Window> parent_window;
    if (new_parent != nullptr && !to_message) {
      parent_window = FindWindowLocked(new_parent);
      if (!parent_window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
      }
      if (IsSelfOrDescendantLocked(new_parent, child)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
    }
    old_parent = found->parent;
    was_presented = found->presented;
    if (std::shared_ptr<Window> old = FindWindowLocked(old_parent)) {
      std::erase(old->children, child);
    }
    found->parent = parent_window ? new_parent : nullptr;
    found->message_only = to_message;
    found->owner = nullptr;
    if (parent_window) parent_window->children.push_back(child);
    now_top_level = IsTopLevelLocked(*found);
    if (was_presented && !now_top_level) found->presented = false;
  }
  if (was_presented && !now_top_level) Presentation().WindowDestroyed(child);
  if (!was_presented && now_top_level) Present(child);
  return old_parent;
}

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD process_id) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (process_id != nullptr) *process_id = GetCurrentProcessId();
  return found->queue->thread_id;
}

LRESULT WINAPI CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wparam,
                               LPARAM lparam) {
  if (procedure == nullptr) return 0;
  return procedure(window, message, wparam, lparam);
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index) {
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(found->procedure);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(found->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(found->parent != nullptr ? found->parent : found->owner);
    case GWLP_ID:
      return found->id;
    case GWL_STYLE:
      return static_cast<LONG_PTR>(found->style);
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(found->ex_style);
    case GWLP_USERDATA:
      return found->user_data;
    default:
      break;
  }
  if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > found->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG_PTR value = 0;
  std::memcpy(&value, found->extra.data() + index, sizeof(value));
  return value;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  if (index == GWL_STYLE || index == GWL_EXSTYLE) {
    // Style changes are announced before and after, as on Windows.
    if (!IsWindow(window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    const auto old_style = static_cast<DWORD>(GetWindowLongPtrW(window, index));
    struct {
      DWORD old_style;
      DWORD new_style;
    } change{old_style, static_cast<DWORD>(value)};
    SendMessageW(window, WM_STYLECHANGING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&change));
    {
      std::lock_guard<std::mutex> lock(GlobalLock());
      std::shared_ptr<Window> found = FindWindowLocked(window);
      if (!found) return 0;
      (index == GWL_STYLE ? found->style : found->ex_style) = change.new_style;
    }
    SendMessageW(window, WM_STYLECHANGED, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&change));
    return static_cast<LONG_PTR>(old_style);
  }
  std::lock_guard<std::mutex> lock(GlobalLock());
  std::shared_ptr<Window> found = FindWindowLocked(window);
  if (!found) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR previous = 0;
  switch (index) {
    case GWLP_WNDPROC:
      if (value == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      previous = reinterpret_cast<LONG_PTR>(found->procedure);
      found->procedure = reinterpret_cast<WNDPROC>(value);
      return previous;
    case GWLP_HINSTANCE:
      previous = reinterpret_cast<LONG_PTR>(found->instance);
      found->instance = reinterpret_cast<HINSTANCE>(value);
      return previous;
    case GWLP_HWNDPARENT:
      if (found->parent != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      previous = reinterpret_cast<LONG_PTR>(found->owner);
      found->owner = reinterpret_cast<HWND>(value);
      return previous;
    case GWLP_ID:
      previous = found->id;
      found->id = value;
      return previous;
    case GWLP_USERDATA:
      previous = found->user_data;
      found->user_data = value;
      return previous;
    default:
      break;
  }
  if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > found->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  std::memcpy(&previous, found->extra.data() + index, sizeof(previous));
  std::memcpy(found->extra.data() + index, &value, sizeof(value));
  return previous;
}

LONG WINAPI GetWindowLongW(HWND window, int index) {
  return static_cast<LONG>(GetWindowLongPtrW(window, index));
}

LONG WINAPI SetWindowLongW(HWND window, int index, LONG value) {
  return static_cast<LONG>(SetWindowLongPtrW(window, index, value));
}

BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

int WINAPI GetWindowTextW(HWND window, LPWSTR text, int max_count) {
  if (text == nullptr || max_count <= 0) return 0;
  text[0] = L'\0';
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(max_count),
                                       reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextLengthW(HWND window) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
}

LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (window == nullptr || !IsWindow(window)) return 0;
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      if (create != nullptr && create->lpszName != nullptr && !IS_INTRESOURCE(create->lpszName)) {
        StoreText(window, create->lpszName);
      }
      return TRUE;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_WINDOWPOSCHANGED:
      if (lparam != 0) SendMoveAndSize(window, *reinterpret_cast<const WINDOWPOS*>(lparam));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE && HIWORD(wparam) == 0) SetFocus(window);
      return 0;
    case WM_NCACTIVATE:
      return TRUE;
    case WM_SETTEXT:
      StoreText(window, reinterpret_cast<LPCWSTR>(lparam));
      return TRUE;
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<LPWSTR>(lparam);
      if (buffer == nullptr || wparam == 0) return 0;
      std::lock_guard<std::mutex> lock(GlobalLock());
      std::shared_ptr<Window> found = FindWindowLocked(window);
      if (!found) return 0;
      const size_t count = std::min(found->text.size(), static_cast<size_t>(wparam - 1));
      found->text.copy(buffer, count);
      buffer[count] = L'\0';
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH: {
      std::lock_guard<std::mutex> lock(GlobalLock());
      std::shared_ptr<Window> found = FindWindowLocked(window);
      return found ? static_cast<LRESULT>(found->text.size()) : 0;
    }
    default:
      return 0;
  }
}

}  // extern "C"
