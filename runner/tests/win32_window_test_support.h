// What the tests of Win32Window share: a window that records its hooks, the window class's
// registration, and a fixture with a registry file of its own and the default monitor.
#ifndef TERVALA_RUNNER_TESTS_WIN32_WINDOW_TEST_SUPPORT_H_
#define TERVALA_RUNNER_TESTS_WIN32_WINDOW_TEST_SUPPORT_H_

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/test_support/environment.h"
#include "platform/test_support/scratch_folder.h"
#include "runner/win32_window.h"

namespace runner_test {

inline constexpr wchar_t kClassName[] = L"VELA_RUNNER_WIN32_WINDOW";

// A window that records its hooks and the messages its HandleMessage sees.
class TestWindow : public Win32Window {
 public:
  explicit TestWindow(bool created_result = true) : created_result_(created_result) {}

  int created = 0;
  int destroying = 0;
  std::vector<UINT> handled;

 protected:
  LRESULT HandleMessage(HWND const window, UINT const message, WPARAM const wparam,
                        LPARAM const lparam) noexcept override {
    handled.push_back(message);
    return Win32Window::HandleMessage(window, message, wparam, lparam);
  }
  bool OnCreated() override {
    ++created;
    return created_result_;
  }
  void OnDestroying() override { ++destroying; }

 private:
  bool created_result_;
};

inline bool ClassRegistered() {
  WNDCLASSW info{};
  return GetClassInfoW(GetModuleHandleW(nullptr), kClassName, &info) != FALSE;
}

inline RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

// Handles whatever is queued, without waiting; true when WM_QUIT came.
inline bool PumpPending(WPARAM* quit_code = nullptr) {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      if (quit_code != nullptr) *quit_code = msg.wParam;
      return true;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return false;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = scratch_.Join("registry.reg");
    tervala_testing::SetEnvironmentValue("TERVALA_REGISTRY", registry_);
    tervala_testing::SetEnvironmentValue("TERVALA_MONITORS", std::nullopt);
  }
  void TearDown() override {
    std::remove(registry_.c_str());
    tervala_testing::SetEnvironmentValue("TERVALA_REGISTRY", std::nullopt);
    tervala_testing::SetEnvironmentValue("TERVALA_MONITORS", std::nullopt);
    EXPECT_FALSE(ClassRegistered()) << "the class outlived every window object";
  }

  void SetLightTheme(int value) {
    std::ofstream(registry_) << "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion"
                                "\\Themes\\Personalize]\n\"AppsUseLightTheme\"=dword:"
                             << value << "\n";
  }

  static LRESULT Dark(HWND window) {
    BOOL dark = -1;
    if (DwmGetWindowAttribute(window, 20, &dark, sizeof(dark)) != S_OK) return -1;
    return dark;
  }

  tervala_testing::ScratchFolder scratch_{"win32-window-test"};
  std::string registry_;
};

}  // namespace runner_test

#endif  // TERVALA_RUNNER_TESTS_WIN32_WINDOW_TEST_SUPPORT_H_
