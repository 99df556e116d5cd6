#include "runner/win32_window.h"

#include <dwmapi.h>
#include <vela_windows.h>

#include <cstdint>
#include <cwchar>
#include <limits>

namespace {

constexpr const wchar_t kWindowClassName[] = L"VELA_RUNNER_WIN32_WINDOW";

// The registry value that says whether apps use the light theme (1) or the dark one (0).
constexpr const wchar_t kThemeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr const wchar_t kThemeValue[] = L"AppsUseLightTheme";
// The area named by WM_SETTINGCHANGE when the app theme (or the accent colour) changes.
constexpr const wchar_t kThemeChange[] = L"ImmersiveColorSet";

// The DWM attribute for a dark title bar (DWMWA_USE_IMMERSIVE_DARK_MODE, which older SDKs
// do not name).
constexpr DWORD kDarkTitleBarAttribute = 20;

constexpr int kAppIconResource = 101;

// Live Win32Window objects; when it drops to 0 the window class is unregistered.
int32_t active_window_count = 0;

using EnableNonClientDpiScalingFunction = BOOL WINAPI(HWND window);

// Scales a logical coordinate, truncating toward zero. Results beyond the 32-bit range are
// clamped instead of overflowing.
int32_t Scale(int32_t value, double scale_factor) {
  const double scaled = static_cast<double>(value) * scale_factor;
  if (scaled >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (scaled <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(scaled);
}

// Registers the window class on first use and unregisters it when the last window is gone.
class WindowClassRegistry {
 public:
  // The process-wide registry, created on first use and never freed.
  static WindowClassRegistry* GetInstance() {
    static WindowClassRegistry* const instance = new WindowClassRegistry();
    return instance;
  }

  // Registers the class if needed and returns its name.
  const wchar_t* GetWindowClass() {
    if (!class_registered_) {
      WNDCLASSW window_class{};
      window_class.style = CS_HREDRAW | CS_VREDRAW;
      window_class.lpfnWndProc = Win32Window::WindowProcedure;
      window_class.cbClsExtra = 0;
      window_class.cbWndExtra = 0;
      window_class.hInstance = GetModuleHandleW(nullptr);
      window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(kAppIconResource));
      window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      window_class.hbrBackground = nullptr;
      window_class.lpszMenuName = nullptr;
      window_class.lpszClassName = kWindowClassName;
      RegisterClassW(&window_class);
      class_registered_ = true;
    }
    return kWindowClassName;
  }

  void UnregisterWindowClass() {
    UnregisterClassW(kWindowClassName, nullptr);
    class_registered_ = false;
  }

 private:
  WindowClassRegistry() = default;

  bool class_registered_ = false;
};

}  // namespace

Win32Window::Win32Window() { ++active_window_count; }

Win32Window::~Win32Window() {
  --active_window_count;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title, const Point& origin, const Size& size) {
  Destroy();

  const wchar_t* window_class = WindowClassRegistry::GetInstance()->GetWindowClass();

  const POINT target_point = {static_cast<LONG>(origin.x), static_cast<LONG>(origin.y)};
  HMONITOR monitor = MonitorFromPoint(target_point, MONITOR_DEFAULTTONEAREST);
  UINT dpi = VelaDesktopGetDpiForMonitor(monitor);
  // A monitor whose DPI cannot be read counts as 100 %, not as a window of size zero.
  if (dpi == 0) dpi = USER_DEFAULT_SCREEN_DPI;
  const double scale_factor = dpi / 96.0;

  HWND window = CreateWindowExW(0, window_class, title.c_str(), WS_OVERLAPPEDWINDOW,
                                Scale(origin.x, scale_factor), Scale(origin.y, scale_factor),
                                Scale(size.width, scale_factor), Scale(size.height, scale_factor),
                                nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) return false;

  ApplySystemTheme(window);
  return OnCreated();
}

bool Win32Window::Show() { return ShowWindow(window_handle_, SW_SHOWNORMAL) != FALSE; }

LRESULT CALLBACK Win32Window::WindowProcedure(HWND const window, UINT const message,
                                              WPARAM const wparam, LPARAM const lparam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* that = create != nullptr ? static_cast<Win32Window*>(create->lpCreateParams) : nullptr;
    if (that != nullptr) {
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(that));
      EnableNonClientScaling(window);
      that->window_handle_ = window;
    }
  } else if (auto* that = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
             that != nullptr) {
    return that->HandleMessage(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT Win32Window::HandleMessage(HWND const window, UINT const message, WPARAM const wparam,
                                   LPARAM const lparam) noexcept {
  switch (message) {
    case WM_DESTROY:
      window_handle_ = nullptr;
      Destroy();
      if (quit_when_closed_) PostQuitMessage(0);
      return 0;

    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      if (suggested != nullptr) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    }

    case WM_SIZE: {
      const RECT rect = ClientArea();
      if (child_content_ != nullptr) {
        MoveWindow(child_content_, rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, TRUE);
      }
      return 0;
    }

    case WM_ACTIVATE:
      if (child_content_ != nullptr) SetFocus(child_content_);
      return 0;

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      ApplySystemTheme(window);
      return 0;

    case WM_SETTINGCHANGE:
      // A switch between the light and the dark app theme is announced this way; the
      // colorization message does not reliably come with it. The message also goes on to
      // the default procedure, as before.
      if (lparam != 0 && std::wcscmp(reinterpret_cast<const wchar_t*>(lparam), kThemeChange) == 0) {
        ApplySystemTheme(window);
      }
      return DefaultProcedure(window_handle_, message, wparam, lparam);

    default:
      return DefaultProcedure(window_handle_, message, wparam, lparam);
  }
}

bool Win32Window::OnCreated() { return true; }

LRESULT Win32Window::DefaultProcedure(HWND const window, UINT const message, WPARAM const wparam,
                                      LPARAM const lparam) noexcept {
  return DefWindowProcW(window, message, wparam, lparam);
}

void Win32Window::OnDestroying() {}

void Win32Window::Destroy() {
  OnDestroying();
  if (window_handle_ != nullptr) {
    DestroyWindow(window_handle_);
    window_handle_ = nullptr;
  }
  if (active_window_count == 0) WindowClassRegistry::GetInstance()->UnregisterWindowClass();
}

void Win32Window::AttachChildWindow(HWND content) {
  child_content_ = content;
  SetParent(content, window_handle_);
  const RECT frame = ClientArea();
  MoveWindow(content, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
             TRUE);
  SetFocus(child_content_);
}

RECT Win32Window::ClientArea() {
  RECT frame{};
  GetClientRect(window_handle_, &frame);
  return frame;
}

void Win32Window::SetQuitWhenClosed(bool quit_when_closed) { quit_when_closed_ = quit_when_closed; }

void Win32Window::ApplySystemTheme(HWND window) {
  DWORD light_mode = 0;
  DWORD light_mode_size = sizeof(light_mode);
  const LSTATUS result = RegGetValueW(HKEY_CURRENT_USER, kThemeKey, kThemeValue, RRF_RT_REG_DWORD,
                                      nullptr, &light_mode, &light_mode_size);
  if (result != ERROR_SUCCESS) return;
  const BOOL enable_dark_mode = light_mode == 0 ? TRUE : FALSE;
  DwmSetWindowAttribute(window, kDarkTitleBarAttribute, &enable_dark_mode,
                        sizeof(enable_dark_mode));
}

void Win32Window::EnableNonClientScaling(HWND window) {
  HMODULE user32 = LoadLibraryA("User32.dll");
  if (user32 == nullptr) return;
  // The detour through a plain function pointer type keeps compilers from warning about a
  // cast between unrelated function types.
  auto* enable = reinterpret_cast<EnableNonClientDpiScalingFunction*>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32, "EnableNonClientDpiScaling")));
  if (enable != nullptr) enable(window);
  FreeLibrary(user32);
}
