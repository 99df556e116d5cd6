#include "platform/win32/posix/presentation.h"

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/tests/recorder.h"

namespace win32_test {
namespace {

// A backend that writes down what it is told.
class RecordingBackend : public win32_posix::PresentationBackend {
 public:
  std::vector<std::string> events;

  void WindowCreated(HWND, const std::string& title, const RECT& rect) override {
    Add("created " + title + " " + std::to_string(rect.right - rect.left));
  }
  void WindowShown(HWND, bool visible) override { Add(visible ? "shown" : "hidden"); }
  void WindowMoved(HWND, const RECT& rect) override {
    Add("moved " + std::to_string(rect.left) + "," + std::to_string(rect.top));
  }
  void WindowTitled(HWND, const std::string& title) override { Add("titled " + title); }
  void WindowAttributeSet(HWND, DWORD attribute, const std::vector<uint8_t>&) override {
    Add("attribute " + std::to_string(attribute));
  }
  void WindowDestroyed(HWND) override { Add("destroyed"); }
  std::vector<win32_posix::MonitorDescription> Monitors() override {
    return {win32_posix::MonitorDescription{RECT{0, 0, 800, 600}, 120}};
  }

 private:
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events.push_back(event);
  }
  std::mutex mutex_;
};

TEST(PresentationTest, ABackendHearsOfTopLevelWindowsAndReportsThroughTheirThread) {
  unsetenv("TERVALA_MONITORS");
  auto owned = std::make_unique<RecordingBackend>();
  RecordingBackend* backend = owned.get();
  ASSERT_EQ(win32_posix::SetPresentationBackend(std::move(owned)), nullptr);

  Recorder recorder;
  HWND window = recorder.Create(nullptr, WS_OVERLAPPEDWINDOW, RECT{0, 0, 100, 50}, L"Tervala");
  HWND child = recorder.Create(window, WS_CHILD | WS_VISIBLE);  // Children are not presented.
  EXPECT_EQ(GetDpiForWindow(window), 120u);                     // The backend's monitor.
  ShowWindow(window, SW_SHOW);
  MoveWindow(window, 5, 6, 100, 50, TRUE);
  SetWindowTextW(window, L"T\u00e9");
  BOOL dark = TRUE;
  DwmSetWindowAttribute(window, DWMWA_USE_IMMERSIVE_DARK_MODE, &dark, sizeof(dark));

  // The user presses the close button: the backend posts work to the window's thread.
  recorder.OnMessage(WM_DESTROY, [](HWND, UINT, WPARAM, LPARAM) {
    PostQuitMessage(0);
    return std::optional<LRESULT>(0);
  });
  std::thread display([window] {
    EXPECT_TRUE(win32_posix::PostToWindowThread(
        window, [window] { PostMessageW(window, WM_CLOSE, 0, 0); }));
  });
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  display.join();
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(win32_posix::PostToWindowThread(window, [] {}));

  const std::vector<std::string> expected = {
      "created Tervala 100", "shown",  "moved 5,6", "titled T\xC3\xA9",
      "attribute 20",        "hidden", "destroyed"};
  EXPECT_EQ(backend->events, expected);
  std::unique_ptr<win32_posix::PresentationBackend> previous =
      win32_posix::SetPresentationBackend(nullptr);
  EXPECT_EQ(previous.get(), backend);
}

}  // namespace
}  // namespace win32_test
