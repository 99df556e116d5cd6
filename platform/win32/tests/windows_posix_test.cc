// Windows of the Win32 layer where tests need the layer's own means: injected input, monitors
// described by TERVALA_MONITORS, and the DWM attributes it records on a window.
#include <dwmapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/win32/posix/input.h"
#include "platform/win32/tests/recorder.h"

namespace win32_test {
namespace {

using Log = std::vector<std::pair<HWND, UINT>>;

class WindowsPosixTest : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("TERVALA_MONITORS"); }
  void TearDown() override { unsetenv("TERVALA_MONITORS"); }
  Recorder recorder_;
};

TEST_F(WindowsPosixTest, MouseInputGoesToTheWindowUnderThePointerOrTheCapture) {
  HWND parent = recorder_.Create(nullptr, WS_OVERLAPPEDWINDOW, RECT{100, 100, 300, 300});
  HWND child = recorder_.Create(parent, WS_CHILD | WS_VISIBLE, RECT{10, 20, 30, 40});
  ShowWindow(parent, SW_SHOW);
  EXPECT_EQ(WindowFromPoint(POINT{115, 125}), child);
  EXPECT_EQ(WindowFromPoint(POINT{150, 150}), parent);
  EXPECT_EQ(WindowFromPoint(POINT{5, 5}), nullptr);
  // The last message `window` received: its lparam as a point.
  auto last_point = [&](HWND window, UINT message) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    POINT point{-1, -1};
    for (const Received& item : recorder_.All()) {
      if (item.window == window && item.message == message) {
        point = POINT{GET_X_LPARAM(item.lparam), GET_Y_LPARAM(item.lparam)};
      }
    }
    return std::make_pair(point.x, point.y);
  };
  EXPECT_EQ(win32_posix::InjectMouseInput(POINT{115, 125}, WM_LBUTTONDOWN, MK_LBUTTON), child);
  EXPECT_EQ(last_point(child, WM_LBUTTONDOWN), std::make_pair(5, 5));
  EXPECT_LT(GetKeyState(VK_LBUTTON), 0);

  // Captured, the child gets the pointer outside every window, in its own coordinates.
  EXPECT_EQ(SetCapture(child), nullptr);
  EXPECT_EQ(win32_posix::InjectMouseInput(POINT{5, 5}, WM_MOUSEMOVE, MK_LBUTTON), child);
  EXPECT_EQ(last_point(child, WM_MOUSEMOVE), std::make_pair(-105, -115));
  EXPECT_EQ(win32_posix::InjectMouseInput(POINT{5, 5}, WM_MOUSEWHEEL, 0, -120), child);
  EXPECT_EQ(last_point(child, WM_MOUSEWHEEL), std::make_pair(5, 5));  // Screen coordinates.

  recorder_.Clear();
  EXPECT_EQ(SetCapture(parent), child);
  EXPECT_EQ(recorder_.Messages({WM_CAPTURECHANGED}), (Log{{child, WM_CAPTURECHANGED}}));
  DestroyWindow(parent);
  EXPECT_EQ(GetCapture(), nullptr);  // The capture goes with its window.
  EXPECT_EQ(win32_posix::InjectMouseInput(POINT{115, 125}, WM_LBUTTONUP, 0), nullptr);
  EXPECT_EQ(GetKeyState(VK_LBUTTON), 0);
}

TEST_F(WindowsPosixTest, MouseInputNamingTheTopLevelWindowGoesInsideIt) {
  // A display knows which of two overlapping windows is on top; the layer does not.
  HWND below = recorder_.Create(nullptr, WS_OVERLAPPEDWINDOW, RECT{100, 100, 300, 300});
  HWND child = recorder_.Create(below, WS_CHILD | WS_VISIBLE, RECT{10, 20, 30, 40});
  HWND above = recorder_.Create(nullptr, WS_OVERLAPPEDWINDOW, RECT{100, 100, 300, 300});
  ShowWindow(below, SW_SHOW);
  ShowWindow(above, SW_SHOW);
  EXPECT_EQ(win32_posix::InjectMouseInput(POINT{115, 125}, WM_MOUSEMOVE, 0), above);
  EXPECT_EQ(win32_posix::InjectMouseInput(POINT{115, 125}, WM_MOUSEMOVE, 0, 0, below), child);
  // A point the layer places outside it still goes to the window named.
  EXPECT_EQ(win32_posix::InjectMouseInput(POINT{5, 5}, WM_MOUSEMOVE, 0, 0, below), below);
  DestroyWindow(above);
  DestroyWindow(below);
  EXPECT_EQ(win32_posix::InjectMouseInput(POINT{5, 5}, WM_MOUSEMOVE, 0, 0, below), nullptr);
}

TEST_F(WindowsPosixTest, MaximizingMinimizingAndRestoringResizeTheWindow) {
  setenv("TERVALA_MONITORS", "0,0,1280,1024,96;1280,0,1920,1080,96", 1);
  const RECT normal{1300, 10, 1500, 110};
  HWND window = recorder_.Create(nullptr, WS_OVERLAPPEDWINDOW, normal);
  const auto last_size = [&] {
    Received last{};
    for (const Received& item : recorder_.All()) {
      if (item.message == WM_SIZE) last = item;
    }
    return last;
  };
  ShowWindow(window, SW_SHOWMAXIMIZED);
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, 1280);  // The monitor the window was on.
  EXPECT_EQ(rect.right, 3200);
  EXPECT_EQ(last_size().wparam, static_cast<WPARAM>(SIZE_MAXIMIZED));

  ShowWindow(window, SW_MINIMIZE);
  EXPECT_EQ(last_size().wparam, static_cast<WPARAM>(SIZE_MINIMIZED));
  EXPECT_EQ(last_size().lparam, 0);
  GetClientRect(window, &rect);
  EXPECT_EQ(rect.right, 0);
  EXPECT_NE(GetActiveWindow(), window);

  ShowWindow(window, SW_RESTORE);
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, normal.left);
  EXPECT_EQ(rect.right, normal.right);
  EXPECT_EQ(last_size().wparam, static_cast<WPARAM>(SIZE_RESTORED));
  EXPECT_EQ(GetActiveWindow(), window);
  DestroyWindow(window);
}

TEST_F(WindowsPosixTest, MonitorsAndDpiChangeWhenAWindowMovesToAnotherMonitor) {
  setenv("TERVALA_MONITORS", "0,0,1000,800,96;1000,0,1000,800,192", 1);
  HWND window = recorder_.Create(nullptr, WS_OVERLAPPEDWINDOW, RECT{10, 10, 210, 110});
  EXPECT_EQ(GetDpiForWindow(window), 96u);
  RECT suggested{};
  recorder_.OnMessage(WM_DPICHANGED, [&](HWND target, UINT, WPARAM wparam, LPARAM lparam) {
    suggested = *reinterpret_cast<const RECT*>(lparam);
    EXPECT_EQ(LOWORD(wparam), 192);
    SetWindowPos(target, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return std::optional<LRESULT>(0);
  });
  MoveWindow(window, 1100, 10, 200, 100, TRUE);
  EXPECT_EQ(recorder_.Count(WM_DPICHANGED), 1);
  EXPECT_EQ(GetDpiForWindow(window), 192u);
  EXPECT_EQ(suggested.left, 1100);
  EXPECT_EQ(suggested.right - suggested.left, 400);
  EXPECT_EQ(suggested.bottom - suggested.top, 200);
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 400);
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONULL);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetMonitorInfoW(monitor, &info));
  EXPECT_EQ(info.rcMonitor.left, 1000);
  EXPECT_EQ(info.dwFlags, 0u);
  DestroyWindow(window);
}

TEST_F(WindowsPosixTest, DwmAttributesAreRecordedOnTheWindow) {
  HWND window = recorder_.Create();
  BOOL dark = TRUE;
  EXPECT_EQ(DwmGetWindowAttribute(window, DWMWA_USE_IMMERSIVE_DARK_MODE, &dark, sizeof(dark)),
            E_INVALIDARG);  // Nothing set yet.
  EXPECT_EQ(DwmSetWindowAttribute(window, DWMWA_USE_IMMERSIVE_DARK_MODE, &dark, 2), E_INVALIDARG);
  EXPECT_EQ(DwmSetWindowAttribute(window, DWMWA_USE_IMMERSIVE_DARK_MODE, &dark, sizeof(dark)),
            S_OK);
  BOOL read = FALSE;
  EXPECT_EQ(DwmGetWindowAttribute(window, DWMWA_USE_IMMERSIVE_DARK_MODE, &read, sizeof(read)),
            S_OK);
  EXPECT_EQ(read, TRUE);
  DestroyWindow(window);
  EXPECT_EQ(DwmSetWindowAttribute(window, DWMWA_USE_IMMERSIVE_DARK_MODE, &dark, sizeof(dark)),
            E_HANDLE);
}
}  // namespace
}  // namespace win32_test
