// The bundles on an engine in this process: what the sample draws as its answers come and as
// its view changes (the bridge's relay is in bridge_in_engine_test.cc).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bundle/sample/canvas.h"
#include "bundle/sample/nimbus_records.h"
#include "bundle/sample/sample_view.h"
#include "bundle/tests/app_process.h"
#include "bundle/tests/in_engine_support.h"
#include "embedding_client/vela_engine.h"
#include "embedding_client/vela_view.h"
#include "embedding_client/vela_view_controller.h"
#include "vela_view_contents.h"

namespace bundle_test {
namespace {

using tervala_bundle::AppDescription;
using tervala_bundle::BridgeFrame;
using tervala_bundle::FrameKind;

VelaDesktopViewFrameInfo FrameInfo(const vela::VelaViewController& controller) {
  VelaDesktopViewFrameInfo info{};
  VelaDesktopViewReadContents(controller.view()->NativeWindow(), &info, nullptr, 0);
  return info;
}

std::vector<uint8_t> Pixels(const vela::VelaViewController& controller) {
  const VelaDesktopViewFrameInfo info = FrameInfo(controller);
  std::vector<uint8_t> pixels(static_cast<size_t>(info.width) * info.height * 4);
  VelaDesktopViewReadContents(controller.view()->NativeWindow(), nullptr, pixels.data(),
                              pixels.size());
  return pixels;
}

// Whether the view's latest frame shows every one of the texts, at the font scale of 96 DPI.
// A frame is searched once: until the next one comes, the answer stays.
class FrameText {
 public:
  explicit FrameText(const vela::VelaViewController& controller) : controller_(controller) {}

  bool Shows(std::initializer_list<std::string_view> texts) {
    const VelaDesktopViewFrameInfo info = FrameInfo(controller_);
    if (info.frame_count == searched_frame_) return found_;
    searched_frame_ = info.frame_count;
    const std::vector<uint8_t> pixels = Pixels(controller_);
    found_ = true;
    for (std::string_view text : texts) {
      found_ =
          found_ && FrameShowsText(pixels, info.width, text, tervala_bundle::TextScaleForDpi(96));
    }
    return found_;
  }

 private:
  const vela::VelaViewController& controller_;
  uint64_t searched_frame_ = 0;  // no frame yet
  bool found_ = false;
};

TEST(InEngineTest, TheSampleDrawsItsAnswersAndFollowsTheView) {
  auto controller = StartEngine(SAMPLE_DATA_DIR, {}, 640, 480);
  ASSERT_TRUE(controller);
  vela::BinaryMessenger& messenger = controller->engine()->messenger();

  // A core that knows nobody and describes whatever app it is asked for.
  int core_requests = 0;
  int app_requests = 0;
  messenger.SetMessageHandler(
      tervala_bundle::kInitializeCoreChannel,
      [&](const uint8_t*, size_t, vela::ReplyFunction reply) {
        ++core_requests;
        const std::vector<uint8_t> bytes = tervala_bundle::EncodeRecordMessage(
            vela::EncodableValue(vela::EncodableList{vela::EncodableList{}}));
        reply(bytes.data(), bytes.size());
      });
  messenger.SetMessageHandler(
      tervala_bundle::kInitializeAppChannel,
      [&](const uint8_t* message, size_t size, vela::ReplyFunction reply) {
        ++app_requests;
        std::optional<vela::EncodableValue> request =
            tervala_bundle::DecodeRecordMessage(message, size);
        ASSERT_TRUE(request);
        const auto& arguments = request->Get<vela::EncodableList>();
        ASSERT_EQ(arguments.size(), 2u);
        AppDescription app;
        app.name = arguments[0].Get<std::string>();
        app.options = *tervala_bundle::AppOptionsRecord::FromValue(arguments[1]);
        const std::vector<uint8_t> bytes = tervala_bundle::EncodeRecordMessage(
            vela::EncodableValue(vela::EncodableList{app.ToValue()}));
        reply(bytes.data(), bytes.size());
      });

  // The default app is asked for after the core has answered, and each answer is drawn.
  FrameText text(*controller);
  ASSERT_TRUE(PumpUntil([&] {
    return app_requests == 1 && text.Shows({"Nimbus core initialised", "__NIMBUSAPP_DEFAULT"});
  }));
  EXPECT_EQ(core_requests, 1);
  VelaDesktopViewFrameInfo info = FrameInfo(*controller);
  EXPECT_EQ(info.width, 640u);
  EXPECT_EQ(info.height, 480u);
  // The title band across the top, opaque.
  std::vector<uint8_t> pixels = Pixels(*controller);
  ASSERT_GE(pixels.size(), 4u);
  EXPECT_EQ(pixels[0], 0);
  EXPECT_EQ(pixels[1], 150);
  EXPECT_EQ(pixels[2], 136);
  EXPECT_EQ(pixels[3], 255);

  // A new view size brings a frame of that size.
  MoveWindow(controller->view()->NativeWindow(), 0, 0, 320, 200, TRUE);
  ASSERT_TRUE(PumpUntil([&] { return FrameInfo(*controller).width == 320; }));
  EXPECT_EQ(FrameInfo(*controller).height, 200u);
  controller.reset();
}

// The sample's controls work through the view's input messages: a click in the name field,
// typing, a click on "Create app", and Tab and Enter to the permission button each send what
// they say, and the window shows the answers.
TEST(InEngineTest, TheSamplesControlsSendTheirRequests) {
  auto controller = StartEngine(SAMPLE_DATA_DIR, {"--project-id=p"}, 640, 480);
  ASSERT_TRUE(controller);
  vela::BinaryMessenger& messenger = controller->engine()->messenger();
  std::vector<std::string> requests;  // channel suffix and first argument
  auto answer = [&](const char* channel, vela::EncodableValue value) {
    messenger.SetMessageHandler(
        channel, [&requests, channel, value](const uint8_t* message, size_t size,
                                             vela::ReplyFunction reply) {
          std::optional<vela::EncodableValue> request =
              tervala_bundle::DecodeRecordMessage(message, size);
          const auto* arguments = request ? request->GetIf<vela::EncodableList>() : nullptr;
          const auto* first =
              arguments && !arguments->empty() ? (*arguments)[0].GetIf<std::string>() : nullptr;
          requests.push_back(std::string(std::strrchr(channel, '.') + 1) + " " +
                             (first ? *first : "-"));
          const std::vector<uint8_t> bytes =
              tervala_bundle::EncodeRecordMessage(vela::EncodableValue(vela::EncodableList{value}));
          reply(bytes.data(), bytes.size());
        });
  };
  AppDescription created;
  created.name = "my1";
  answer(tervala_bundle::kInitializeCoreChannel, vela::EncodableValue(vela::EncodableList{}));
  answer(tervala_bundle::kInitializeAppChannel, created.ToValue());
  answer(tervala_bundle::kCheckPermissionChannel, vela::EncodableValue("granted"));
  ASSERT_TRUE(PumpUntil([&] { return requests.size() == 2; }));  // the start-up requests

  tervala_bundle::ControlPanel panel = tervala_bundle::MakeSamplePanel();
  tervala_bundle::LayOutSamplePanel(panel, 640, 96);
  HWND view = controller->view()->NativeWindow();
  auto click = [&](int control) {
    const tervala_bundle::Rect r = panel.Find(control)->bounds;
    const LPARAM at = MAKELPARAM(r.x + r.width / 2, r.y + r.height / 2);
    PostMessageW(view, WM_MOUSEMOVE, 0, at);
    PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(view, WM_LBUTTONUP, 0, at);
  };
  click(tervala_bundle::kNameField);
  for (wchar_t c : std::wstring(L"my1")) PostMessageW(view, WM_CHAR, c, 0);
  click(tervala_bundle::kCreateButton);
  // From "Create app", four controls on: the permission button.
  for (int i = 0; i < 4; ++i) PostMessageW(view, WM_KEYDOWN, VK_TAB, 0);
  PostMessageW(view, WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(PumpUntil([&] { return requests.size() == 4; }));
  EXPECT_EQ(requests[2], "initializeApp my1");
  EXPECT_EQ(requests[3], "checkPermissionStatus camera");
  // The answers are drawn in the request list (however many frames that took).
  FrameText text(*controller);
  EXPECT_TRUE(PumpUntil([&] {
    return text.Shows(
        {"Create app \"my1\": answered: app my1", "Permission camera: answered: granted"});
  }));
  controller.reset();
}

}  // namespace
}  // namespace bundle_test
