// The bridge on an engine in this process: its relay of messages that native code sends
// (POSIX only: the bridge listens on a Unix-domain socket).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bundle/tests/app_process.h"
#include "bundle/tests/in_engine_support.h"
#include "embedding_client/vela_engine.h"
#include "embedding_client/vela_view_controller.h"

namespace bundle_test {
namespace {

using tervala_bundle::BridgeFrame;
using tervala_bundle::FrameKind;

TEST(InEngineTest, TheBridgeRelaysNativeMessagesToAListeningClient) {
  TemporaryFolder folder;
  const std::string socket = folder.path() + "/bridge.sock";
  auto controller = StartEngine(BRIDGE_DATA_DIR, {"--bridge-socket=" + socket}, 200, 100);
  ASSERT_TRUE(controller);
  vela::BinaryMessenger& messenger = controller->engine()->messenger();
  BridgeClient client;
  ASSERT_TRUE(client.Connect(socket));

  // Listen, then make sure the bridge has taken it in: a send that follows is answered only
  // after the listen request has been applied on the engine thread.
  ASSERT_TRUE(client.Send({static_cast<uint8_t>(FrameKind::kListen), 0, "native/ping", {}}));
  ASSERT_TRUE(client.Send({static_cast<uint8_t>(FrameKind::kSend), 1, "native/none", {1}}));
  std::optional<BridgeFrame> frame;
  ASSERT_TRUE(PumpUntil([&] { return (frame = client.Receive(0)).has_value(); }));
  EXPECT_EQ(frame->kind, static_cast<uint8_t>(FrameKind::kReply));
  EXPECT_TRUE(frame->message.empty());  // nobody handles that channel natively

  // Native code's message reaches the client, and the client's answer comes back.
  std::vector<std::string> replies;
  auto send_ping = [&](const std::string& text) {
    messenger.Send("native/ping", reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                   [&](const uint8_t* reply, size_t size) {
                     replies.emplace_back(reinterpret_cast<const char*>(reply), size);
                   });
  };
  send_ping("hello");
  ASSERT_TRUE(PumpUntil([&] { return (frame = client.Receive(0)).has_value(); }));
  EXPECT_EQ(frame->kind, static_cast<uint8_t>(FrameKind::kMessage));
  EXPECT_EQ(frame->channel, "native/ping");
  EXPECT_EQ(std::string(frame->message.begin(), frame->message.end()), "hello");
  const std::string answer = "world";
  ASSERT_TRUE(client.Send({static_cast<uint8_t>(FrameKind::kResponse), frame->id, "",
                           std::vector<uint8_t>(answer.begin(), answer.end())}));
  ASSERT_TRUE(PumpUntil([&] { return replies.size() == 1; }));
  EXPECT_EQ(replies[0], "world");

  // A message the client leaves unanswered when it goes gets the empty reply.
  send_ping("again");
  ASSERT_TRUE(PumpUntil([&] { return (frame = client.Receive(0)).has_value(); }));
  EXPECT_EQ(frame->kind, static_cast<uint8_t>(FrameKind::kMessage));
  client.Disconnect();
  ASSERT_TRUE(PumpUntil([&] { return replies.size() == 2; }));
  EXPECT_EQ(replies[1], "");

  controller.reset();
  // The socket goes with the application.
  EXPECT_FALSE(std::filesystem::exists(socket));
}

}  // namespace
}  // namespace bundle_test
