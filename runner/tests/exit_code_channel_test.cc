// The host's exit-code channel: what the application may set, and what it is refused.
#include "runner/exit_code_channel.h"

#include <gtest/gtest.h>

#include "embedding_client/standard_message_codec.h"
#include "plugins/tests/relay_engine.h"

namespace {

using vela::EncodableList;
using vela::EncodableValue;

TEST(ExitCodeChannelTest, SetsTheCodeAndRefusesWhatIsNotOne) {
  tervala_plugins::testing::RelayEngine relay;
  ASSERT_TRUE(relay.is_running());
  InstallExitCodeChannel(&relay.engine().messenger());
  const auto& codec = vela::StandardMessageCodec::GetInstance();
  EXPECT_EQ(RequestedExitCode(), 0);
  EXPECT_EQ(relay.Call(kSetExitCodeChannel, EncodableList{3}, codec),
            EncodableValue(EncodableList{EncodableValue()}));
  EXPECT_EQ(RequestedExitCode(), 3);
  for (const EncodableValue& wrong :
       {EncodableValue(EncodableList{256}), EncodableValue(EncodableList{-1}),
        EncodableValue(EncodableList{"1"}), EncodableValue(EncodableList{}), EncodableValue(1)}) {
    const auto reply = relay.Call(kSetExitCodeChannel, wrong, codec);
    ASSERT_TRUE(reply);
    const auto* list = reply->GetIf<EncodableList>();
    ASSERT_TRUE(list && list->size() == 3);
    EXPECT_EQ((*list)[0], EncodableValue("bad-request"));
  }
  EXPECT_EQ(RequestedExitCode(), 3);
  relay.Call(kSetExitCodeChannel, EncodableList{0}, codec);
  EXPECT_EQ(RequestedExitCode(), 0);
}

}  // namespace
