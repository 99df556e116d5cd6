#include "runner/vela_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <vela_view_contents.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "platform/test_support/environment.h"
#include "runner/tests/recording_vela_window.h"
#include "runner/tests/runner_test_support.h"
#include "runner/tests/test_probe.h"

namespace {

using runner_test::AppLibrary;
using runner_test::BundleFolder;
using runner_test::Events;
using runner_test::PumpUntil;
// Every window of these tests notes what reaches the default procedure.
using TestWindow = runner_test::RecordingVelaWindow;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr auto kEventLimit = std::chrono::seconds(20);

bool ClassRegistered() {
  WNDCLASSW info{};
  return GetClassInfoW(GetModuleHandleW(nullptr), L"VELA_RUNNER_WIN32_WINDOW", &info) != FALSE;
}

RECT Rect(HWND window, bool client) {
  RECT rect{};
  if (client) {
    GetClientRect(window, &rect);
  } else {
    GetWindowRect(window, &rect);
  }
  return rect;
}

VelaDesktopViewFrameInfo ViewFrame(HWND view) {
  VelaDesktopViewFrameInfo info{};
  VelaDesktopViewReadContents(view, &info, nullptr, 0);
  return info;
}

class VelaWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No user registry, and the default monitor unless a test says otherwise.
    tervala_testing::SetEnvironmentValue("TERVALA_REGISTRY", "/nonexistent/registry.reg");
    tervala_testing::SetEnvironmentValue("TERVALA_MONITORS", std::nullopt);
    runner_test::ClearEvents();
    runner_test::ClearDefaultProcedureMessages();
  }
  void TearDown() override {
    tervala_testing::SetEnvironmentValue("TERVALA_REGISTRY", std::nullopt);
    tervala_testing::SetEnvironmentValue("TERVALA_MONITORS", std::nullopt);
    EXPECT_FALSE(ClassRegistered()) << "the class outlived every window object";
  }

  static vela::EngineProject Project(const BundleFolder& bundle,
                                     std::vector<std::string> arguments = {}) {
    vela::EngineProject project(runner_test::Wide(bundle.path()));
    project.entrypoint_arguments = std::move(arguments);
    return project;
  }

  static bool Create(TestWindow& window) {
    return window.Create(L"Tervala", Win32Window::Point{10, 10}, Win32Window::Size{1280, 720});
  }

  BundleFolder bundle_{AppLibrary::kTestBundle};
};

TEST_F(VelaWindowTest, ShownWithTheFirstFrameWithTheViewFillingTheClientArea) {
  // At 150 % the logical 1280 x 720 window is 1920 x 1080 pixels (where the monitor can be
  // chosen: Windows keeps its own), and the view fills its client area.
  tervala_testing::SetEnvironmentValue("TERVALA_MONITORS", "0,0,3840,2160,144");
  TestWindow window(Project(bundle_));
  ASSERT_TRUE(Create(window));
  const HWND top_level = window.GetHandle();
  ASSERT_NE(top_level, nullptr);
  const UINT dpi = GetDpiForWindow(top_level);
  const RECT outer = Rect(top_level, false);
  EXPECT_EQ(outer.right - outer.left, static_cast<LONG>(1280 * dpi / 96));
  EXPECT_EQ(outer.bottom - outer.top, static_cast<LONG>(720 * dpi / 96));

  // The attached view is the child with the keyboard focus, at the client size, and has
  // shown nothing yet; the window is still hidden.
  const HWND view = GetFocus();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(GetParent(view), top_level);
  const RECT client = Rect(top_level, true);
  const LONG width = client.right - client.left;
  const LONG height = client.bottom - client.top;
  EXPECT_GT(width, 0);
  const RECT view_rect = Rect(view, true);
  EXPECT_EQ(view_rect.right - view_rect.left, width);
  EXPECT_EQ(view_rect.bottom - view_rect.top, height);
  EXPECT_FALSE(IsWindowVisible(top_level));
  EXPECT_EQ(ViewFrame(view).frame_count, 0u);

  // The engine's first frame shows the window; that frame is the bundle's, at the view's size.
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(top_level) != FALSE; }));
  const VelaDesktopViewFrameInfo frame = ViewFrame(view);
  EXPECT_GE(frame.frame_count, 1u);
  EXPECT_EQ(frame.width, static_cast<uint32_t>(width));
  EXPECT_EQ(frame.height, static_cast<uint32_t>(height));
  EXPECT_THAT(Events(), Contains("frame " + std::to_string(width) + "x" + std::to_string(height)));

  // Resizing keeps the view covering the client area.
  MoveWindow(top_level, 0, 0, 800, 600, TRUE);
  const RECT resized_client = Rect(top_level, true);
  const RECT resized = Rect(view, true);
  EXPECT_EQ(resized.right - resized.left, resized_client.right - resized_client.left);
  EXPECT_EQ(resized.bottom - resized.top, resized_client.bottom - resized_client.top);
  EXPECT_LT(resized.right - resized.left, width);
}

TEST_F(VelaWindowTest, TheEngineSeesMessagesFirst) {
  TestWindow window(Project(bundle_));
  ASSERT_TRUE(Create(window));
  const HWND top_level = window.GetHandle();
  const HWND view = GetFocus();
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(top_level) != FALSE; }));
  SetFocus(nullptr);
  runner_test::ClearDefaultProcedureMessages();

  // The engine consumes focus given to the window (it passes it on to the view): its
  // answer is the window's, and neither the base handler nor the default procedure see it.
  EXPECT_EQ(SendMessageW(top_level, WM_SETFOCUS, 0, 0), 0);
  EXPECT_EQ(GetFocus(), view);
  EXPECT_THAT(runner_test::DefaultProcedureMessages(top_level), Not(Contains(WM_SETFOCUS)));

  // A font change makes the engine reload fonts and still reaches the default procedure.
  SendMessageW(top_level, WM_FONTCHANGE, 0, 0);
  EXPECT_TRUE(runner_test::WaitForEvent("fonts", kEventLimit));
  EXPECT_THAT(runner_test::DefaultProcedureMessages(top_level), Contains(WM_FONTCHANGE));

  // What the engine leaves alone reaches the default procedure as usual.
  SendMessageW(top_level, WM_NULL, 0, 0);
  EXPECT_THAT(runner_test::DefaultProcedureMessages(top_level), Contains(WM_NULL));
}

TEST_F(VelaWindowTest, ClosingEndsTheEngineAndTheLoop) {
  TestWindow window(Project(bundle_, {"a", "", "\xc3\xbc"}));
  ASSERT_TRUE(Create(window));
  window.SetQuitWhenClosed(true);
  const HWND top_level = window.GetHandle();
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(top_level) != FALSE; }));
  EXPECT_EQ(Events().front(), "entry 3 [61] [] [c3bc]");

  PostMessageW(top_level, WM_CLOSE, 0, 0);
  int quit_code = -1;
  ASSERT_TRUE(runner_test::PumpUntilQuit(&quit_code));
  EXPECT_EQ(quit_code, 0);
  EXPECT_EQ(window.GetHandle(), nullptr);
  EXPECT_FALSE(IsWindow(top_level));
  // The engine shut down with the window, not later with the object.
  EXPECT_EQ(Events().back(), "shutdown");
}

TEST_F(VelaWindowTest, WithoutABundleCreationFailsAndNothingIsShown) {
  for (AppLibrary library : {AppLibrary::kMissing, AppLibrary::kBroken}) {
    SCOPED_TRACE(library == AppLibrary::kMissing ? "missing app.so" : "broken app.so");
    BundleFolder bundle(library);
    {
      TestWindow window(Project(bundle));
      ::testing::internal::CaptureStderr();
      const bool created = Create(window);
      const std::string errors = ::testing::internal::GetCapturedStderr();
      EXPECT_FALSE(created);
      EXPECT_THAT(errors, HasSubstr("Failed to create view controller.\n"));
      // The hidden native window stays until the object goes; nothing ever shows it.
      const HWND top_level = window.GetHandle();
      ASSERT_NE(top_level, nullptr);
      runner_test::PumpPending();
      EXPECT_FALSE(IsWindowVisible(top_level));
    }
    EXPECT_THAT(Events(), Not(Contains(HasSubstr("entry"))));
  }
}

TEST_F(VelaWindowTest, DestroyedBeforeItsFirstFrame) {
  {
    TestWindow window(Project(bundle_));
    ASSERT_TRUE(Create(window));
    ASSERT_TRUE(runner_test::WaitForEvent("frame", kEventLimit));
  }
  // The frame and its callback were due on this thread; they must find nothing to run.
  runner_test::PumpPending();
  EXPECT_EQ(Events().back(), "shutdown");
}

TEST_F(VelaWindowTest, CreatingAgainReplacesTheEngine) {
  TestWindow window(Project(bundle_));
  ASSERT_TRUE(Create(window));
  ASSERT_TRUE(Create(window));
  const HWND top_level = window.GetHandle();
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(top_level) != FALSE; }));
  const std::vector<std::string> events = Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "entry 0"), 2);
  EXPECT_EQ(std::count(events.begin(), events.end(), "shutdown"), 1);
}

}  // namespace
