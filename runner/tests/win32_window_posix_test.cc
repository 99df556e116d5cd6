// Win32Window over the Win32 layer's own settings, which Windows does not have: monitors of
// the test's choice (TERVALA_MONITORS) and the user's theme in a registry file
// (TERVALA_REGISTRY).
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <limits>

#include "runner/tests/win32_window_test_support.h"

namespace {

using runner_test::TestWindow;
using runner_test::Win32WindowTest;
using runner_test::WindowRect;

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
                                       "0,0,1920,1080,480");  // Five times: past the 32-bit range.
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {0, 0}, {500000000, 720}));
  const RECT rect = WindowRect(window.GetHandle());
  EXPECT_EQ(rect.right, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(rect.bottom, 3600);
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

  // The settings change that names the app theme applies it too; other settings do not.
  SetLightTheme(0);
  SendMessageW(handle, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
  SendMessageW(handle, WM_SETTINGCHANGE, 0, 0);
  EXPECT_EQ(Dark(handle), FALSE);
  SendMessageW(handle, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
  EXPECT_EQ(Dark(handle), TRUE);

  // An unreadable value changes nothing.
  std::ofstream(registry_) << "nothing here\n";
  SendMessageW(handle, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  SendMessageW(handle, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
  EXPECT_EQ(Dark(handle), TRUE);
}

TEST_F(Win32WindowTest, MovedOntoAMonitorOfAnotherDpiTheWindowTakesTheSuggestedSize) {
  tervala_testing::SetEnvironmentValue("TERVALA_MONITORS", "0,0,1920,1080,96;1920,0,2560,1440,144");
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Tervala", {10, 10}, {800, 600}));
  HWND handle = window.GetHandle();
  // Moved onto the 144-DPI monitor, the window takes the size that the system suggests.
  MoveWindow(handle, 2000, 10, 800, 600, TRUE);
  const RECT rect = WindowRect(handle);
  EXPECT_EQ(rect.left, 2000);
  EXPECT_EQ(rect.right - rect.left, 1200);
  EXPECT_EQ(rect.bottom - rect.top, 900);
  EXPECT_EQ(GetDpiForWindow(handle), 144u);
}

}  // namespace
