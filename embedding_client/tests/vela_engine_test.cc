// The engine and view controller against the engine library and the test bundle.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "embedding_client/binary_messenger_impl.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/tests/engine_test_support.h"
#include "embedding_client/vela_engine.h"
#include "embedding_client/vela_view_controller.h"

namespace vela {
namespace {

using testing::Command;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::LastEngineProperties;
using testing::PumpUntil;
using testing::TestBundle;

TEST(VelaEngineTest, PropertiesWithoutArgumentsCarryANullArrayAndTheDefaultEntryPoint) {
  TestBundle bundle;
  EngineProject project = bundle.Project();
  VelaViewController controller(320, 240, project);
  ASSERT_NE(controller.view(), nullptr);

  const auto& received = LastEngineProperties();
  EXPECT_EQ(received.assets_path, project.assets_path);
  EXPECT_EQ(received.icu_data_path, project.icu_data_path);
  EXPECT_EQ(received.aot_library_path, project.aot_library_path);
  EXPECT_FALSE(received.entrypoint_is_null);
  EXPECT_EQ(received.entrypoint, "");
  EXPECT_EQ(received.argc, 0);
  EXPECT_TRUE(received.argv_is_null);
  EXPECT_THAT(received.options, ElementsAre(0, 0, 0));
  EXPECT_EQ(received.reserved0, 0);
  EXPECT_EQ(received.reserved1, 0);

  BinaryMessenger& messenger = controller.engine()->messenger();
  EXPECT_EQ(Command(messenger, {"arguments"}), EncodableValue(EncodableList{}));
  EXPECT_EQ(Command(messenger, {"entry"}), EncodableValue("main"));
}

TEST(VelaEngineTest, PropertiesCarryArgumentsInOrderTheEntryPointAndTheOptions) {
  TestBundle bundle;
  EngineProject project = bundle.Project({"a", "b \xC3\xA9"}, "custom");
  project.engine_option_1 = 1;
  project.engine_option_2 = -2;
  project.engine_option_3 = 3;
  VelaViewController controller(320, 240, project);
  ASSERT_NE(controller.view(), nullptr);

  const auto& received = LastEngineProperties();
  EXPECT_EQ(received.entrypoint, "custom");
  EXPECT_EQ(received.argc, 2);
  EXPECT_FALSE(received.argv_is_null);
  EXPECT_THAT(received.argv, ElementsAre("a", "b \xC3\xA9"));
  EXPECT_THAT(received.options, ElementsAre(1, -2, 3));

  BinaryMessenger& messenger = controller.engine()->messenger();
  EXPECT_EQ(Command(messenger, {"arguments"}), EncodableValue(EncodableList{"a", "b \xC3\xA9"}));
  EXPECT_EQ(Command(messenger, {"entry"}), EncodableValue("custom"));
}

TEST(VelaEngineTest, NextFrameCallbackSetTwiceRunsOnlyTheSecondAndOnce) {
  TestBundle bundle;
  VelaViewController controller(320, 240, bundle.Project());
  ASSERT_NE(controller.view(), nullptr);
  int first = 0;
  int second = 0;
  controller.engine()->SetNextFrameCallback([&] { ++first; });
  controller.engine()->SetNextFrameCallback([&] { ++second; });

  BinaryMessenger& messenger = controller.engine()->messenger();
  EXPECT_EQ(Command(messenger, {"frame"}), EncodableValue(true));
  ASSERT_TRUE(PumpUntil([&] { return second > 0; }));
  EXPECT_EQ(Command(messenger, {"frame"}), EncodableValue(true));
  controller.ForceRedraw();
  testing::PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
}

TEST(VelaEngineTest, ForcedRedrawBringsTheNextFrame) {
  TestBundle bundle;
  VelaViewController controller(320, 240, bundle.Project());
  ASSERT_NE(controller.view(), nullptr);
  EXPECT_NE(controller.view()->NativeWindow(), nullptr);
  bool shown = false;
  controller.engine()->SetNextFrameCallback([&] { shown = true; });
  controller.ForceRedraw();
  EXPECT_TRUE(PumpUntil([&] { return shown; }));
}

TEST(VelaEngineTest, ReleasedEngineOutlivesTheEngineObject) {
  TestBundle bundle;
  VelaDesktopEngine handle = nullptr;
  {
    VelaEngine engine(bundle.Project());
    ASSERT_TRUE(engine.is_running());
    handle = engine.ReleaseEngineHandle();
    // The engine object keeps working on the handle it gave away.
    EXPECT_NE(engine.RegistrarForPlugin("ReleasedEngineTest"), nullptr);
  }
  ASSERT_NE(handle, nullptr);
  VelaDesktopViewController controller = VelaDesktopViewControllerCreate(320, 240, handle);
  ASSERT_NE(controller, nullptr);
  {
    BinaryMessengerImpl messenger(VelaDesktopEngineGetMessenger(handle));
    EXPECT_EQ(Command(messenger, {"entry"}), EncodableValue("main"));
  }
  VelaDesktopViewControllerDestroy(controller);
}

TEST(VelaEngineTest, TopLevelMessagesAreTakenOnlyWhenTheEngineConsumesThem) {
  TestBundle bundle;
  VelaViewController controller(320, 240, bundle.Project());
  ASSERT_NE(controller.view(), nullptr);
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.lpszClassName = L"EMBEDDING_TEST_TOP_LEVEL";
  RegisterClassW(&window_class);
  HWND top_level =
      CreateWindowExW(0, L"EMBEDDING_TEST_TOP_LEVEL", L"top level", WS_OVERLAPPEDWINDOW, 0, 0, 320,
                      240, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(top_level, nullptr);
  SetParent(controller.view()->NativeWindow(), top_level);

  EXPECT_EQ(controller.HandleTopLevelWindowProc(top_level, WM_SIZE, 0, MAKELPARAM(100, 100)),
            std::nullopt);
  EXPECT_EQ(controller.HandleTopLevelWindowProc(top_level, WM_FONTCHANGE, 0, 0), std::nullopt);
  // Focus given to the top-level window is the engine's: it passes it on to its view.
  EXPECT_EQ(controller.HandleTopLevelWindowProc(top_level, WM_SETFOCUS, 0, 0),
            std::optional<LRESULT>(0));
  EXPECT_EQ(GetFocus(), controller.view()->NativeWindow());

  SetParent(controller.view()->NativeWindow(), nullptr);
  DestroyWindow(top_level);
}

TEST(VelaEngineTest, ViewControllerOnAnEngineThatFailedReportsAndHasNoView) {
  TestBundle bundle;
  ::testing::internal::CaptureStderr();
  VelaViewController controller(320, 240, bundle.BrokenProject());
  EXPECT_EQ(controller.view(), nullptr);
  ASSERT_NE(controller.engine(), nullptr);
  EXPECT_FALSE(controller.engine()->is_running());
  EXPECT_EQ(controller.engine()->RegistrarForPlugin("Any"), nullptr);
  // Harmless without an engine.
  controller.engine()->SetNextFrameCallback([] {});
  controller.engine()->ReloadSystemFonts();
  controller.ForceRedraw();
  EXPECT_EQ(controller.HandleTopLevelWindowProc(nullptr, WM_SIZE, 0, 0), std::nullopt);
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(errors, HasSubstr("Failed to create view controller.\n"));
  EXPECT_THAT(errors, HasSubstr("Cannot get plugin registrar on an engine that isn't running; "
                                "call Run first.\n"));
}

TEST(EngineProjectTest, BundlePathsFollowTheBaseDirectory) {
  // Joined with the platform's separator.
  const std::wstring base =
      L"data" + std::wstring(1, static_cast<wchar_t>(std::filesystem::path::preferred_separator));
  EngineProject project(L"data");
  EXPECT_EQ(project.assets_path, base + L"vela_assets");
  EXPECT_EQ(project.icu_data_path, base + L"icudtl.dat");
  EXPECT_EQ(project.aot_library_path, base + L"app.so");
  EXPECT_EQ(project.entrypoint, "");
  EXPECT_TRUE(project.entrypoint_arguments.empty());
  EXPECT_EQ(project.engine_option_1 | project.engine_option_2 | project.engine_option_3, 0);
}

}  // namespace
}  // namespace vela
