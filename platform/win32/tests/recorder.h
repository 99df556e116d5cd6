// A window class for tests that records every message its windows receive and then hands
// it to the default window procedure, unless a test installs a handler for it.
#ifndef TERVALA_PLATFORM_WIN32_TESTS_RECORDER_H_
#define TERVALA_PLATFORM_WIN32_TESTS_RECORDER_H_

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace win32_test {

struct Received {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  DWORD thread_id;
};

class Recorder {
 public:
  static constexpr const wchar_t* kClassName = L"RecordingTestWindow";

  // Registers the class; unregisters it on destruction.
  Recorder() {
    Current() = this;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &Recorder::Procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kClassName;
    RegisterClassW(&window_class);
  }
  ~Recorder() {
    UnregisterClassW(kClassName, nullptr);
    Current() = nullptr;
  }

  // A handler answers a message itself (its result is returned) or declines with nullopt.
  using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;
  void OnMessage(UINT message, Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_[message] = std::move(handler);
  }

  HWND Create(HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW, RECT rect = {0, 0, 100, 50},
              const wchar_t* title = L"test") {
    return CreateWindowExW(0, kClassName, title, style, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, parent, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
  }

  // The messages received so far, limited to `interesting` ones when that is not empty.
  std::vector<std::pair<HWND, UINT>> Messages(const std::vector<UINT>& interesting = {}) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::pair<HWND, UINT>> out;
    for (const auto& item : received_) {
      if (interesting.empty() ||
          std::find(interesting.begin(), interesting.end(), item.message) != interesting.end()) {
        out.emplace_back(item.window, item.message);
      }
    }
    return out;
  }
  std::vector<Received> All() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  int Count(UINT message, HWND window = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const auto& item : received_) {
      if (item.message == message && (window == nullptr || item.window == window)) ++count;
    }
    return count;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.clear();
  }

 private:
  static Recorder*& Current() {
    static Recorder* current = nullptr;
    return current;
  }

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Recorder* self = Current();
    Handler handler;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->received_.push_back(Received{window, message, wparam, lparam, GetCurrentThreadId()});
      auto it = self->handlers_.find(message);
      if (it != self->handlers_.end()) handler = it->second;
    }
    if (handler) {
      if (std::optional<LRESULT> result = handler(window, message, wparam, lparam)) return *result;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  std::mutex mutex_;
  std::vector<Received> received_;
  std::map<UINT, Handler> handlers_;
};

// Runs the usual message loop until WM_QUIT; returns the quit code.
inline WPARAM RunLoop() {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return msg.wParam;
}

}  // namespace win32_test

#endif  // TERVALA_PLATFORM_WIN32_TESTS_RECORDER_H_
