#include "platform/engine/src/view.h"

#include <cstring>
#include <map>
#include <utility>

#include "platform/engine/src/frame_dump.h"
#include "platform/engine/src/view_paint.h"

namespace vela_engine {
namespace {

constexpr wchar_t kViewWindowClass[] = L"VELA_ENGINE_VIEW";

// Every live view by its window, for readers that know only the window.
std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}
std::map<HWND, View*>& Registry() {
  static auto* views = new std::map<HWND, View*>();
  return *views;
}

}  // namespace

std::unique_ptr<View> View::Create(int width, int height, MetricsChanged metrics_changed,
                                   InputReceived input_received) {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &View::WindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kViewWindowClass;
    RegisterClassW(&window_class);
  });
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  std::unique_ptr<View> view(new View(std::move(metrics_changed), std::move(input_received)));
  // Message-only until the host makes it the child of its window with SetParent.
  HWND window =
      CreateWindowExW(0, kViewWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                      width, height, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), view.get());
  if (window == nullptr) return nullptr;
  {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registry()[window] = view.get();
  }
  view->UpdateSize();
  return view;
}

View::~View() {
  HWND window = window_;
  ForgetWindow();
  if (window != nullptr) DestroyWindow(window);
}

void View::ForgetWindow() {
  HWND window = window_.exchange(nullptr);
  if (window == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registry().erase(window);
  }
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

LRESULT CALLBACK View::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* view = static_cast<View*>(create->lpCreateParams);
    view->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* view = reinterpret_cast<View*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (view != nullptr) {
    if (view->HandleInput(message, wparam, lparam)) {
      // System keys (Alt combinations, F10) also go on to the default handling: Alt+F4
      // closes the window.
      if (message != WM_SYSKEYDOWN && message != WM_SYSKEYUP) return 0;
    }
    switch (message) {
      case WM_SIZE:
        view->UpdateSize();
        return 0;
      case WM_PAINT:
        if (PaintView(window, view->Contents().get())) return 0;
        break;
      case WM_NCDESTROY:
        // Destroyed with its parent before the view controller: the view lives on without a
        // window until the controller goes.
        view->ForgetWindow();
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool View::HandleInput(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_;
  if (window == nullptr) return false;
  constexpr WORD kButtons = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      // The focus first, so the bundle hears that the view gained it before the press.
      if (GetFocus() != window) SetFocus(window);
      if (GetCapture() != window) SetCapture(window);
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      if ((GET_KEYSTATE_WPARAM(wparam) & kButtons) == 0 && GetCapture() == window) {
        ReleaseCapture();
      }
      break;
    default:
      break;
  }
  std::vector<InputEvent> events;
  if (!input_.Translate(window, message, wparam, lparam, &events)) return false;
  if (input_received_) {
    for (const InputEvent& event : events) input_received_(event);
  }
  return true;
}

void View::UpdateSize() {
  HWND window = window_;
  if (window == nullptr) return;
  RECT rect{};
  GetClientRect(window, &rect);
  UINT dpi = GetDpiForWindow(window);
  if (dpi == 0) dpi = USER_DEFAULT_SCREEN_DPI;
  bool changed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const VelaBundleViewMetrics metrics{static_cast<uint32_t>(rect.right - rect.left),
                                        static_cast<uint32_t>(rect.bottom - rect.top), dpi};
    changed = metrics.width != metrics_.width || metrics.height != metrics_.height ||
              metrics.dpi != metrics_.dpi;
    metrics_ = metrics;
  }
  if (changed && metrics_changed_) metrics_changed_();
}

void View::SetDpi(UINT dpi) {
  if (dpi == 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (metrics_.dpi == dpi) return;
    metrics_.dpi = dpi;
  }
  if (metrics_changed_) metrics_changed_();
}

VelaBundleViewMetrics View::Metrics() {
  std::lock_guard<std::mutex> lock(mutex_);
  return metrics_;
}

std::shared_ptr<const Frame> View::Contents() {
  std::lock_guard<std::mutex> lock(mutex_);
  return contents_;
}

void View::Show(std::shared_ptr<const Frame> frame) {
  if (frame) DumpFrame(*frame);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    contents_ = std::move(frame);
    ++frame_count_;
  }
  if (HWND window = window_; window != nullptr) InvalidateRect(window, nullptr, FALSE);
}

HWND View::TopLevelWindow() const {
  HWND window = window_;
  if (window == nullptr) return nullptr;
  HWND root = GetAncestor(window, GA_ROOT);
  return root == window ? nullptr : root;
}

bool View::ReadContents(HWND window, VelaDesktopViewFrameInfo* info, uint8_t* pixels,
                        size_t pixels_size) {
  std::lock_guard<std::mutex> registry_lock(RegistryMutex());
  auto it = Registry().find(window);
  if (it == Registry().end()) return false;
  View& view = *it->second;
  std::lock_guard<std::mutex> lock(view.mutex_);
  VelaDesktopViewFrameInfo frame_info{};
  if (view.contents_) {
    frame_info.width = view.contents_->width;
    frame_info.height = view.contents_->height;
  }
  frame_info.frame_count = view.frame_count_;
  if (info != nullptr) *info = frame_info;
  if (pixels == nullptr) return true;
  const size_t needed = view.contents_ ? view.contents_->pixels.size() : 0;
  if (pixels_size < needed) return false;
  if (needed > 0) std::memcpy(pixels, view.contents_->pixels.data(), needed);
  return true;
}

}  // namespace vela_engine
