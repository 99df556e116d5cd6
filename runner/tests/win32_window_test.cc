#include "runner/win32_window.h"

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/test_support/environment.h"
#include "platform/test_support/scratch_folder.h"

namespace {

constexpr const wchar_t kClassName[] = L"VELA_RUNNER_WIN32_WINDOW";

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

bool ClassRegistered() {
  WNDCLASSW info{};
  return GetClassInfoW(GetModuleHandleW(nullptr), kClassName, &info) != FALSE;
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

// Handles whatever is queued, without waiting; true when WM_QUIT came.
bool PumpPending(WPARAM* quit_code = nullptr) {
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

TEST_F(Win32WindowTest, GeometryIsScaledToTheMonitorDpiAndTruncated) {
  struct Case {
    const char* monitors;
    Win32Window::Point origin;
    RECT expected;
  } cases[] = {
      {"0,0,3840,2160,96", {10, 10}, {10, 10, 1290, 730}},
      {"0,0,3840,2160,144", {10, 10}, {15, 15, 1935, 1095}},
      {"0,0,3840,2160,120", {10, 10}, {12, 12, 1612, 912}},
      {"0,0,3840,2160,168", {10, 10}, {17, 17, 2257, 1277}},  // 17.5 becomes 17.
      // The monitor nearest to the origin decides: here the second one, at 144 DPI.
      {"0,0,1920,1080,96;1920,0,2560,1440,144", {2000, 10}, {3000, 15, 4920, 1095}},
  };
  for (const Case& test : cases) {
    tervala_testing::SetEnvironmentValue("TERVALA_MONITORS", test.monitors);
    TestWindow window;
    ASSERT_TRUE(window.Create(L"Tervala", test.origin, {1280, 720})) << test.monitors;
    const RECT rect = WindowRect(window.GetHandle());
    EXPECT_EQ(rect.left, test.expected.left) << test.monitors;
    EXPECT_EQ(rect.top, test.expected.top) << test.monitors;
    EXPECT_EQ(rect.right, test.expected.right) << test.monitors;
    EXPECT_EQ(rect.bottom, test.expected.bottom) << test.monitors;
  }
}

TEST_F(Win32WindowTest, HugeSizesDoNotOverflow) {
  tervala_testing::SetEnvironmentValue("TERVALA_MONITORS",
                                       "0,0,1920,1080,960");  // Ten times: past the 32-bit range.
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {0, 0}, {300000000, 720}));
  const RECT rect = WindowRect(window.GetHandle());
  EXPECT_EQ(rect.right, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(rect.bottom, 7200);
}

TEST_F(Win32WindowTest, CreatedHiddenWithTitleAndClassAndShownOnRequest) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {10, 10}, {1280, 720}));
  HWND handle = window.GetHandle();
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(window.created, 1);
  EXPECT_FALSE(IsWindowVisible(handle));
  // Windows adds WS_CLIPSIBLINGS to every overlapped window.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(handle, GWL_STYLE)) & ~DWORD{WS_CLIPSIBLINGS},
            DWORD{WS_OVERLAPPEDWINDOW});
  wchar_t text[32];
  GetWindowTextW(handle, text, 32);
  EXPECT_STREQ(text, L"Tervala");
  GetClassNameW(handle, text, 32);
  EXPECT_STREQ(text, kClassName);
  // Messages before WM_NCCREATE find no object; WM_NCCREATE itself goes to the default.
  ASSERT_FALSE(window.handled.empty());
  EXPECT_EQ(std::count(window.handled.begin(), window.handled.end(), WM_GETMINMAXINFO), 0);
  EXPECT_EQ(std::count(window.handled.begin(), window.handled.end(), WM_NCCREATE), 0);
  EXPECT_EQ(std::count(window.handled.begin(), window.handled.end(), WM_CREATE), 1);

  window.Show();
  EXPECT_TRUE(IsWindowVisible(handle));
}

TEST_F(Win32WindowTest, TitleBarFollowsTheAppThemeAndItsChanges) {
  SetLightTheme(0);
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {10, 10}, {640, 480}));
  HWND handle = window.GetHandle();
  EXPECT_EQ(Dark(handle), TRUE);

  SetLightTheme(1);
  EXPECT_EQ(Dark(handle), TRUE);  // Nothing changes until the system says so.
  SendMessageW(handle, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  EXPECT_EQ(Dark(handle), FALSE);

  // An unreadable value changes nothing.
  std::ofstream(registry_) << "nothing here\n";
  SendMessageW(handle, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  EXPECT_EQ(Dark(handle), FALSE);
}

TEST_F(Win32WindowTest, WithoutAThemeValueTheTitleBarIsLeftAlone) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {10, 10}, {640, 480}));
  EXPECT_EQ(Dark(window.GetHandle()), -1);
}

TEST_F(Win32WindowTest, DpiChangeAppliesTheSuggestedRectangle) {
  tervala_testing::SetEnvironmentValue("TERVALA_MONITORS", "0,0,1920,1080,96;1920,0,2560,1440,144");
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {10, 10}, {800, 600}));
  HWND handle = window.GetHandle();

  RECT suggested{100, 200, 1300, 1100};
  EXPECT_EQ(SendMessageW(handle, WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)),
            0);
  RECT rect = WindowRect(handle);
  EXPECT_EQ(rect.left, 100);
  EXPECT_EQ(rect.top, 200);
  EXPECT_EQ(rect.right, 1300);
  EXPECT_EQ(rect.bottom, 1100);

  // Moved onto the 144-DPI monitor, the window takes the size that the system suggests.
  MoveWindow(handle, 2000, 10, 800, 600, TRUE);
  rect = WindowRect(handle);
  EXPECT_EQ(rect.left, 2000);
  EXPECT_EQ(rect.right - rect.left, 1200);
  EXPECT_EQ(rect.bottom - rect.top, 900);
  EXPECT_EQ(GetDpiForWindow(handle), 144u);
}

class ChildWindow {
 public:
  ChildWindow() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.lpszClassName = L"TestContent";
    RegisterClassW(&window_class);
    handle = CreateWindowExW(0, L"TestContent", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                             HWND_MESSAGE, nullptr, nullptr, nullptr);
  }
  ~ChildWindow() {
    if (IsWindow(handle)) DestroyWindow(handle);
    UnregisterClassW(L"TestContent", nullptr);
  }
  HWND handle;
};

TEST_F(Win32WindowTest, ChildIsKeptAtTheClientSizeAndFocusedOnActivation) {
  ChildWindow content;
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {10, 10}, {800, 600}));
  HWND handle = window.GetHandle();
  window.AttachChildWindow(content.handle);
  EXPECT_EQ(GetParent(content.handle), handle);
  EXPECT_EQ(GetFocus(), content.handle);
  // The client area is the window less its frame, which only Windows draws.
  RECT rect{};
  GetClientRect(content.handle, &rect);
  RECT area = window.ClientArea();
  EXPECT_GT(area.right, 700);
  EXPECT_EQ(rect.right, area.right);
  EXPECT_EQ(rect.bottom, area.bottom);

  MoveWindow(handle, 10, 10, 1024, 700, TRUE);
  GetClientRect(content.handle, &rect);
  const RECT resized = window.ClientArea();
  EXPECT_GT(resized.right, area.right);
  EXPECT_EQ(rect.right, resized.right);
  EXPECT_EQ(rect.bottom, resized.bottom);

  // Showing leaves the window active (on Windows it is already, since its child took the
  // focus), and activation gives the child the focus.
  window.Show();
  EXPECT_EQ(GetActiveWindow(), handle);
  SetFocus(nullptr);
  SendMessageW(handle, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetFocus(), content.handle);
  // So does every WM_ACTIVATE, deactivation included.
  SetFocus(handle);
  SendMessageW(handle, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(GetFocus(), content.handle);
  window.Destroy();
  EXPECT_FALSE(IsWindow(content.handle));  // It was a child of the destroyed window.
}

TEST_F(Win32WindowTest, ClassIsSharedByLiveWindowsAndRegisteredAgainLater) {
  auto first = std::make_unique<TestWindow>();
  auto second = std::make_unique<TestWindow>();
  ASSERT_TRUE(first->Create(L"one", {10, 10}, {100, 100}));
  ASSERT_TRUE(second->Create(L"two", {10, 10}, {100, 100}));
  EXPECT_TRUE(ClassRegistered());

  const int destroying = first->destroying;  // Create runs the hook once too.
  DestroyWindow(first->GetHandle());         // The user closes one window...
  EXPECT_EQ(first->GetHandle(), nullptr);
  EXPECT_EQ(first->destroying, destroying + 1);
  first.reset();  // ...and its object goes: one window object is left.
  EXPECT_TRUE(ClassRegistered());
  EXPECT_TRUE(IsWindow(second->GetHandle()));
  second.reset();
  EXPECT_FALSE(ClassRegistered());

  TestWindow third;
  ASSERT_TRUE(third.Create(L"three", {10, 10}, {100, 100}));
  EXPECT_TRUE(ClassRegistered());
}

TEST_F(Win32WindowTest, ClosingEndsTheLoopOnlyWhenAskedTo) {
  TestWindow staying;
  ASSERT_TRUE(staying.Create(L"Tervala", {10, 10}, {100, 100}));
  HWND handle = staying.GetHandle();
  const int destroying = staying.destroying;
  PostMessageW(handle, WM_CLOSE, 0, 0);
  EXPECT_FALSE(PumpPending());  // No quit message.
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(staying.GetHandle(), nullptr);
  EXPECT_EQ(staying.destroying, destroying + 1);

  TestWindow quitting;
  ASSERT_TRUE(quitting.Create(L"Tervala", {10, 10}, {100, 100}));
  quitting.SetQuitWhenClosed(true);
  PostMessageW(quitting.GetHandle(), WM_CLOSE, 0, 0);
  WPARAM code = 99;
  EXPECT_TRUE(PumpPending(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(quitting.GetHandle(), nullptr);
}

TEST_F(Win32WindowTest, DestroyingTheObjectDestroysAWindowThatIsStillThere) {
  HWND handle = nullptr;
  {
    TestWindow window(/*created_result=*/false);
    EXPECT_FALSE(window.Create(L"Tervala", {10, 10}, {100, 100}));
    handle = window.GetHandle();
    ASSERT_NE(handle, nullptr);  // Creation failed after the native window existed.
    EXPECT_TRUE(IsWindow(handle));
  }
  EXPECT_FALSE(IsWindow(handle));
}

TEST_F(Win32WindowTest, CreatingAgainReplacesTheNativeWindow) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"first", {10, 10}, {100, 100}));
  HWND first = window.GetHandle();
  ASSERT_TRUE(window.Create(L"second", {10, 10}, {100, 100}));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_NE(window.GetHandle(), first);
  EXPECT_EQ(window.created, 2);
}

}  // namespace
