// The messenger and typed channels against the engine library, with the test bundle on
// the other side of every channel.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "embedding_client/binary_messenger.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/message_channel.h"
#include "embedding_client/standard_message_codec.h"
#include "embedding_client/tests/engine_test_support.h"
#include "embedding_client/vela_view_controller.h"

namespace vela {
namespace {

using testing::BundleCall;
using testing::Command;
using ::testing::HasSubstr;
using testing::PumpUntil;
using testing::TestBundle;

constexpr char kChannel[] = "test.native";
constexpr char kDuplicateLine[] =
    "Error: Response can be set only once. Ignoring duplicate response.\n";

size_t CountOf(const std::string& text, const std::string& line) {
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
    ++count;
  }
  return count;
}

class MessengerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controller_ = std::make_unique<VelaViewController>(320, 240, bundle_.Project());
    ASSERT_NE(controller_->view(), nullptr);
  }

  BinaryMessenger& messenger() { return controller_->engine()->messenger(); }
  MessageChannel Channel() {
    return MessageChannel(&messenger(), kChannel, &StandardMessageCodec::GetInstance());
  }

  // Has the bundle send a command without waiting for its answer; the flag is set when
  // the answer (or the empty reply at shutdown) comes.
  void SendCommand(const EncodableList& command, std::shared_ptr<bool> answered) {
    auto bytes = StandardMessageCodec::GetInstance().EncodeMessage(command);
    messenger().Send("test.command", bytes->data(), bytes->size(),
                     [answered](const uint8_t*, size_t) { *answered = true; });
  }

  TestBundle bundle_;
  std::unique_ptr<VelaViewController> controller_;
};

TEST_F(MessengerTest, MessageReachesItsChannelsHandlerAndTheTypedReplyReachesTheBundle) {
  std::vector<EncodableValue> received;
  std::thread::id handler_thread;
  Channel().SetMessageHandler([&](const EncodableValue& message, MessageReply reply) {
    received.push_back(message);
    handler_thread = std::this_thread::get_id();
    reply(EncodableMap{{"answer", 42}, {"items", EncodableList{true, 2.5}}});
  });

  EncodableValue sent = EncodableList{"hello", int64_t{1} << 40, std::vector<uint8_t>{1, 2}};
  EXPECT_EQ(BundleCall(messenger(), kChannel, sent),
            EncodableValue(EncodableList{
                "reply", EncodableMap{{"answer", 42}, {"items", EncodableList{true, 2.5}}}}));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], sent);
  EXPECT_EQ(handler_thread, std::this_thread::get_id());
  // Another channel is not routed to this handler.
  EXPECT_EQ(BundleCall(messenger(), "test.other", 1), EncodableValue(EncodableList{"empty"}));
  EXPECT_EQ(received.size(), 1u);
}

TEST_F(MessengerTest, ReplacedHandlerTakesLaterMessagesAndRemovedOneLeavesTheEmptyReply) {
  int first_calls = 0;
  int second_calls = 0;
  Channel().SetMessageHandler([&](const EncodableValue&, MessageReply reply) {
    ++first_calls;
    reply("first");
  });
  EXPECT_EQ(BundleCall(messenger(), kChannel, 0), EncodableValue(EncodableList{"reply", "first"}));

  Channel().SetMessageHandler([&](const EncodableValue&, MessageReply reply) {
    ++second_calls;
    reply("second");
  });
  EXPECT_EQ(BundleCall(messenger(), kChannel, 0), EncodableValue(EncodableList{"reply", "second"}));

  Channel().SetMessageHandler(nullptr);
  EXPECT_EQ(BundleCall(messenger(), kChannel, 0), EncodableValue(EncodableList{"empty"}));
  EXPECT_EQ(first_calls, 1);
  EXPECT_EQ(second_calls, 1);
}

TEST_F(MessengerTest, HandlerMayRemoveItselfWhileItRuns) {
  auto owned = std::make_shared<std::string>("still here");
  messenger().SetMessageHandler(
      kChannel, [this, owned](const uint8_t*, size_t, ReplyFunction reply) {
        messenger().SetMessageHandler(kChannel, nullptr);
        // The captures must outlive the removal.
        auto bytes = StandardMessageCodec::GetInstance().EncodeMessage(*owned);
        reply(bytes->data(), bytes->size());
      });
  EXPECT_EQ(BundleCall(messenger(), kChannel, 0),
            EncodableValue(EncodableList{"reply", "still here"}));
  EXPECT_EQ(BundleCall(messenger(), kChannel, 0), EncodableValue(EncodableList{"empty"}));
}

TEST_F(MessengerTest, SecondReplySendsNothingAndWritesOneErrorLine) {
  Channel().SetMessageHandler([](const EncodableValue&, MessageReply reply) {
    MessageReply copy = reply;
    reply(1);
    copy(2);  // a copy shares the one answer
  });
  ::testing::internal::CaptureStderr();
  EncodableValue seen = BundleCall(messenger(), kChannel, 0);
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(seen, EncodableValue(EncodableList{"reply", 1}));
  EXPECT_EQ(CountOf(errors, kDuplicateLine), 1u) << errors;
}

TEST_F(MessengerTest, ReplyKeptPastShutdownIsDroppedWithoutCrashOrError) {
  ReplyFunction kept;
  messenger().SetMessageHandler(
      kChannel, [&](const uint8_t*, size_t, ReplyFunction reply) { kept = std::move(reply); });
  auto answered = std::make_shared<bool>(false);
  SendCommand({"call", kChannel, "late"}, answered);
  ASSERT_TRUE(PumpUntil([&] { return static_cast<bool>(kept); }));

  controller_.reset();
  ::testing::internal::CaptureStderr();
  const uint8_t bytes[] = {0};
  kept(bytes, sizeof(bytes));
  kept(bytes, sizeof(bytes));
  kept = nullptr;
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(MessengerTest, ReplyFromAnotherThreadReachesTheBundle) {
  std::thread replier;
  std::thread::id reply_thread;
  Channel().SetMessageHandler([&](const EncodableValue& message, MessageReply reply) {
    replier = std::thread([&reply_thread, message, reply = std::move(reply)] {
      reply_thread = std::this_thread::get_id();
      reply(EncodableList{"from a thread", message});
    });
  });
  EncodableValue seen = BundleCall(messenger(), kChannel, 7);
  replier.join();
  EXPECT_EQ(seen, EncodableValue(EncodableList{"reply", EncodableList{"from a thread", 7}}));
  EXPECT_NE(reply_thread, std::this_thread::get_id());
}

TEST_F(MessengerTest, UndecodableMessageIsAnsweredEmptyWithoutReachingTheHandler) {
  bool called = false;
  Channel().SetMessageHandler([&](const EncodableValue&, MessageReply reply) {
    called = true;
    reply(0);
  });
  // A string that claims ten bytes and holds one.
  ::testing::internal::CaptureStderr();
  auto seen = Command(messenger(), {"call_raw", kChannel, std::vector<uint8_t>{7, 10, 'a'}});
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(seen, EncodableValue(EncodableList{"empty"}));
  EXPECT_FALSE(called);
  EXPECT_THAT(errors, HasSubstr("Unable to decode message on channel test.native\n"));
}

// A channel without a messenger or a codec is misuse: one line on standard error, and no
// handler is installed (a message on the channel gets the empty reply).
TEST_F(MessengerTest, ChannelWithoutMessengerOrCodecWritesALineAndInstallsNothing) {
  bool called = false;
  const MessageHandler handler = [&](const EncodableValue&, MessageReply) { called = true; };
  ::testing::internal::CaptureStderr();
  MessageChannel(nullptr, kChannel, &StandardMessageCodec::GetInstance())
      .SetMessageHandler(handler);
  MessageChannel(nullptr, kChannel, &StandardMessageCodec::GetInstance()).SetMessageHandler({});
  MessageChannel(&messenger(), kChannel, nullptr).SetMessageHandler(handler);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(CountOf(errors,
                    "Cannot set a message handler on channel test.native: the channel "
                    "has no messenger.\n"),
            2u);
  EXPECT_EQ(CountOf(errors,
                    "Cannot set a message handler on channel test.native: the channel "
                    "has no codec.\n"),
            1u);
  auto seen = Command(messenger(), {"call_raw", kChannel, std::vector<uint8_t>{0}});
  EXPECT_EQ(seen, EncodableValue(EncodableList{"empty"}));
  EXPECT_FALSE(called);
}

TEST_F(MessengerTest, SendWithoutAndWithReply) {
  auto store = StandardMessageCodec::GetInstance().EncodeMessage(
      EncodableList{"store", EncodableList{"kept", 3}});
  messenger().Send("test.command", store->data(), store->size(), nullptr);

  int replies = 0;
  std::thread::id reply_thread;
  EncodableValue answer;
  auto stored = StandardMessageCodec::GetInstance().EncodeMessage(EncodableList{"stored"});
  messenger().Send("test.command", stored->data(), stored->size(),
                   [&](const uint8_t* data, size_t size) {
                     ++replies;
                     reply_thread = std::this_thread::get_id();
                     answer = *StandardMessageCodec::GetInstance().DecodeMessage(data, size);
                   });
  ASSERT_TRUE(PumpUntil([&] { return replies > 0; }));
  testing::PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(replies, 1);
  EXPECT_EQ(reply_thread, std::this_thread::get_id());
  EXPECT_EQ(answer, EncodableValue(EncodableList{"kept", 3}));
}

TEST_F(MessengerTest, SendRefusedByTheLibraryReleasesTheReplyUncalled) {
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  bool called = false;
  // Bytes that claim a size without being there are refused.
  messenger().Send("test.command", nullptr, 5,
                   [&called, alive = std::move(alive)](const uint8_t*, size_t) { called = true; });
  EXPECT_TRUE(watch.expired());
  testing::PumpFor(std::chrono::milliseconds(20));
  EXPECT_FALSE(called);
}

TEST(MessengerWithoutEngineTest, RefusesToSendAndReleasesTheReplyUncalled) {
  TestBundle bundle;
  ::testing::internal::CaptureStderr();
  VelaViewController controller(320, 240, bundle.BrokenProject());
  BinaryMessenger& messenger = controller.engine()->messenger();
  auto alive = std::make_shared<int>(0);
  std::weak_ptr<int> watch = alive;
  bool called = false;
  const uint8_t byte = 0;
  messenger.Send("test.command", &byte, 1,
                 [&called, alive = std::move(alive)](const uint8_t*, size_t) { called = true; });
  messenger.SetMessageHandler(kChannel, [](const uint8_t*, size_t, ReplyFunction) {});
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(called);
  EXPECT_TRUE(watch.expired());
  EXPECT_THAT(errors,
              HasSubstr("Cannot send on channel test.command: the engine isn't running.\n"));
  EXPECT_THAT(errors, HasSubstr("Cannot set a message handler on channel test.native: the "
                                "engine isn't running.\n"));
}

}  // namespace
}  // namespace vela
