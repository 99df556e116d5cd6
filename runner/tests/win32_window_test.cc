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

#include "runner/tests/win32_window_test_support.h"

namespace {

using runner_test::ClassRegistered;
using runner_test::kClassName;
using runner_test::PumpPending;
using runner_test::TestWindow;
using runner_test::Win32WindowTest;
using runner_test::WindowRect;

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

TEST_F(Win32WindowTest, WithoutAThemeValueTheTitleBarIsLeftAlone) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {10, 10}, {640, 480}));
  EXPECT_EQ(Dark(window.GetHandle()), -1);
}

TEST_F(Win32WindowTest, DpiChangeAppliesTheSuggestedRectangle) {
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
