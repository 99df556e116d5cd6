// The six host channels, driven by the engine-side application through a running engine:
// request unpacking with its error texts, the reply envelopes, suffixes and removal.

#include "nimbus_core_plugin/host_api.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "plugins/tests/relay_engine.h"

namespace nimbus_core_windows {
namespace {

using tervala_plugins::testing::RelayEngine;
using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableMap;
using vela::EncodableValue;

// An API object that records its calls and answers as told.
class RecordingApi : public NimbusCoreHostApi, public NimbusAppHostApi {
 public:
  void InitializeApp(const std::string& app_name, const CoreNimbusOptions& request,
                     std::function<void(ErrorOr<CoreInitializeResponse>)> result) override {
    Record("initializeApp " + app_name + " " + request.api_key());
    if (error) return result(*error);
    result(CoreInitializeResponse(app_name, request, EncodableMap{{"constant", 1}}));
  }
  void InitializeCore(std::function<void(ErrorOr<EncodableList>)> result) override {
    Record("initializeCore");
    if (error) return result(*error);
    result(EncodableList{"listed"});
  }
  void OptionsFromResource(std::function<void(ErrorOr<CoreNimbusOptions>)> result) override {
    Record("optionsFromResource");
    if (error) return result(*error);
    result(CoreNimbusOptions("key", "app", "sender", "project"));
  }
  void SetAutomaticDataCollectionEnabled(
      const std::string& app_name, bool enabled,
      std::function<void(std::optional<VelaError>)> result) override {
    Record("dataCollection " + app_name + (enabled ? " on" : " off"));
    result(error);
  }
  void SetAutomaticResourceManagementEnabled(
      const std::string& app_name, bool enabled,
      std::function<void(std::optional<VelaError>)> result) override {
    Record("resourceManagement " + app_name + (enabled ? " on" : " off"));
    result(error);
  }
  void Delete(const std::string& app_name,
              std::function<void(std::optional<VelaError>)> result) override {
    Record("delete " + app_name);
    result(error);
  }

  std::vector<std::string> calls;
  std::optional<VelaError> error;
  bool throw_in_operation = false;

 private:
  void Record(const std::string& call) {
    calls.push_back(call);
    if (throw_in_operation) throw std::runtime_error("operation failed");
  }
};

EncodableValue Unpacking(const std::string& text) {
  return EncodableList{text, "Error", EncodableValue()};
}

EncodableValue Options(const std::string& api_key) {
  return CustomEncodableValue(CoreNimbusOptions(api_key, "app", "sender", "project"));
}

class HostApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(relay_.is_running());
    NimbusCoreHostApi::SetUp(&relay_.engine().messenger(), &api_);
    NimbusAppHostApi::SetUp(&relay_.engine().messenger(), &api_);
  }

  std::optional<EncodableValue> Call(const std::string& channel, const EncodableValue& message) {
    return relay_.Call(channel, message, HostApiCodec());
  }

  RelayEngine relay_;
  RecordingApi api_;
};

TEST_F(HostApiTest, MalformedFlagRequestsNeverReachTheOperation) {
  for (const char* channel :
       {kSetAutomaticDataCollectionEnabledChannel, kSetAutomaticResourceManagementEnabledChannel}) {
    SCOPED_TRACE(channel);
    EXPECT_EQ(Call(channel, EncodableList{EncodableValue(), true}),
              Unpacking("app_name_arg unexpectedly null."));
    EXPECT_EQ(Call(channel, EncodableList{"app"}), Unpacking("invalid vector subscript"));
    EXPECT_EQ(Call(channel, EncodableList{}), Unpacking("invalid vector subscript"));
    EXPECT_EQ(Call(channel, EncodableList{"app", EncodableValue()}),
              Unpacking("enabled_arg unexpectedly null."));
    EXPECT_EQ(Call(channel, "app"), Unpacking("bad variant access"));
    EXPECT_EQ(Call(channel, EncodableValue()), Unpacking("bad variant access"));
    EXPECT_EQ(Call(channel, EncodableList{1, true}), Unpacking("bad variant access"));
    EXPECT_EQ(Call(channel, EncodableList{"app", "yes"}), Unpacking("bad variant access"));
  }
  EXPECT_TRUE(api_.calls.empty());
}

TEST_F(HostApiTest, MalformedInitializeAppAndDeleteRequests) {
  EXPECT_EQ(Call(kInitializeAppChannel, EncodableList{EncodableValue(), Options("k")}),
            Unpacking("app_name_arg unexpectedly null."));
  EXPECT_EQ(Call(kInitializeAppChannel, EncodableList{"app"}),
            Unpacking("invalid vector subscript"));
  EXPECT_EQ(Call(kInitializeAppChannel, EncodableList{"app", EncodableValue()}),
            Unpacking("initialize_app_request_arg unexpectedly null."));
  EXPECT_EQ(Call(kInitializeAppChannel, EncodableList{"app", EncodableList{}}),
            Unpacking("bad variant access"));
  const CoreInitializeResponse response("x", CoreNimbusOptions("k", "a", "s", "p"), {});
  EXPECT_EQ(Call(kInitializeAppChannel, EncodableList{"app", CustomEncodableValue(response)}),
            Unpacking("Bad any_cast"));
  EXPECT_EQ(Call(kDeleteChannel, EncodableList{EncodableValue()}),
            Unpacking("app_name_arg unexpectedly null."));
  EXPECT_EQ(Call(kDeleteChannel, EncodableList{}), Unpacking("invalid vector subscript"));
  EXPECT_EQ(Call(kDeleteChannel, EncodableMap{}), Unpacking("bad variant access"));
  EXPECT_TRUE(api_.calls.empty());
}

TEST_F(HostApiTest, AppNamesWithANulAreRefusedNotCutShort) {
  const EncodableValue name(std::string("nul\0tail", 8));
  const EncodableValue refused = Unpacking("app_name_arg contains a NUL character.");
  EXPECT_EQ(Call(kInitializeAppChannel, EncodableList{name, Options("k")}), refused);
  EXPECT_EQ(Call(kSetAutomaticDataCollectionEnabledChannel, EncodableList{name, true}), refused);
  EXPECT_EQ(Call(kSetAutomaticResourceManagementEnabledChannel, EncodableList{name, true}),
            refused);
  EXPECT_EQ(Call(kDeleteChannel, EncodableList{name}), refused);
  EXPECT_TRUE(api_.calls.empty());
}

TEST_F(HostApiTest, ErrorEnvelopeBytes) {
  const std::string text = "app_name_arg unexpectedly null.";
  std::vector<uint8_t> expected = {12, 3, 7, static_cast<uint8_t>(text.size())};
  expected.insert(expected.end(), text.begin(), text.end());
  expected.insert(expected.end(), {7, 5, 'E', 'r', 'r', 'o', 'r', 0});
  auto request = HostApiCodec().EncodeMessage(EncodableList{EncodableValue()});
  const auto reply = relay_.Send(kDeleteChannel, *request);
  ASSERT_TRUE(reply.answered);
  EXPECT_EQ(reply.bytes, expected);
}

TEST_F(HostApiTest, SuccessEnvelopes) {
  const auto initialized = Call(kInitializeAppChannel, EncodableList{"app", Options("key-1")});
  ASSERT_TRUE(initialized);
  const auto& list = initialized->Get<EncodableList>();
  ASSERT_EQ(list.size(), 1u);
  const auto& response = list[0].Get<CustomEncodableValue>().Get<CoreInitializeResponse>();
  EXPECT_EQ(response.name(), "app");
  EXPECT_EQ(response.options(), CoreNimbusOptions("key-1", "app", "sender", "project"));
  EXPECT_EQ(response.plugin_constants(), (EncodableMap{{"constant", 1}}));

  // initializeCore and optionsFromResource read nothing of the request.
  const EncodableValue listed = EncodableList{EncodableList{"listed"}};
  EXPECT_EQ(Call(kInitializeCoreChannel, EncodableList{}), listed);
  EXPECT_EQ(Call(kInitializeCoreChannel, EncodableValue()), listed);
  EXPECT_EQ(Call(kInitializeCoreChannel, "anything"), listed);

  const auto options = Call(kOptionsFromResourceChannel, EncodableValue());
  ASSERT_TRUE(options);
  ASSERT_EQ(options->Get<EncodableList>().size(), 1u);
  EXPECT_EQ(options->Get<EncodableList>()[0].Get<CustomEncodableValue>().Get<CoreNimbusOptions>(),
            CoreNimbusOptions("key", "app", "sender", "project"));

  const EncodableValue acknowledged = EncodableList{EncodableValue()};
  EXPECT_EQ(Call(kSetAutomaticDataCollectionEnabledChannel, EncodableList{"app", true, "extra"}),
            acknowledged);
  EXPECT_EQ(Call(kSetAutomaticResourceManagementEnabledChannel, EncodableList{"app", false}),
            acknowledged);
  EXPECT_EQ(api_.calls,
            (std::vector<std::string>{"initializeApp app key-1", "initializeCore", "initializeCore",
                                      "initializeCore", "optionsFromResource",
                                      "dataCollection app on", "resourceManagement app off"}));

  // A successful delete is the bytes of [null].
  const auto reply =
      relay_.Send(kDeleteChannel, *HostApiCodec().EncodeMessage(EncodableList{"app"}));
  ASSERT_TRUE(reply.answered);
  EXPECT_EQ(reply.bytes, (std::vector<uint8_t>{12, 1, 0}));
}

TEST_F(HostApiTest, ErrorsFromTheOperation) {
  api_.error = VelaError("code", "message", EncodableMap{{"detail", 2}});
  const EncodableValue error = EncodableList{"code", "message", EncodableMap{{"detail", 2}}};
  EXPECT_EQ(Call(kInitializeAppChannel, EncodableList{"app", Options("k")}), error);
  EXPECT_EQ(Call(kInitializeCoreChannel, EncodableValue()), error);
  EXPECT_EQ(Call(kOptionsFromResourceChannel, EncodableValue()), error);
  EXPECT_EQ(Call(kSetAutomaticDataCollectionEnabledChannel, EncodableList{"app", true}), error);
  EXPECT_EQ(Call(kDeleteChannel, EncodableList{"app"}), error);

  // An exception out of the operation becomes one error reply.
  api_.error.reset();
  api_.throw_in_operation = true;
  EXPECT_EQ(Call(kInitializeCoreChannel, EncodableValue()), Unpacking("operation failed"));
  EXPECT_EQ(Call(kDeleteChannel, EncodableList{"app"}), Unpacking("operation failed"));
}

TEST_F(HostApiTest, UndecodableMessageGetsTheEmptyReply) {
  // A truncated message, and an options record whose list is too short.
  for (const std::vector<uint8_t>& message :
       {std::vector<uint8_t>{12, 2, 7}, std::vector<uint8_t>{12, 2, 7, 1, 'a', 129, 12, 1, 0}}) {
    const auto reply = relay_.Send(kInitializeAppChannel, message);
    ASSERT_TRUE(reply.answered);
    EXPECT_TRUE(reply.empty);
  }
  EXPECT_TRUE(api_.calls.empty());
}

TEST_F(HostApiTest, SuffixedChannelsAndRemoval) {
  EXPECT_EQ(HostApiChannelName(kDeleteChannel, ""), kDeleteChannel);
  EXPECT_EQ(HostApiChannelName(kDeleteChannel, "second"), std::string(kDeleteChannel) + ".second");

  RecordingApi second;
  NimbusAppHostApi::SetUp(&relay_.engine().messenger(), &second, "second");
  NimbusCoreHostApi::SetUp(&relay_.engine().messenger(), &second, "second");
  EXPECT_EQ(Call(std::string(kDeleteChannel) + ".second", EncodableList{"x"}),
            EncodableValue(EncodableList{EncodableValue()}));
  EXPECT_EQ(Call(std::string(kInitializeCoreChannel) + ".second", EncodableValue()),
            EncodableValue(EncodableList{EncodableList{"listed"}}));
  EXPECT_EQ(second.calls, (std::vector<std::string>{"delete x", "initializeCore"}));
  EXPECT_TRUE(api_.calls.empty());

  // Without an API object the channels have no handler: the engine answers empty.
  NimbusAppHostApi::SetUp(&relay_.engine().messenger(), nullptr);
  NimbusCoreHostApi::SetUp(&relay_.engine().messenger(), nullptr);
  for (const char* channel :
       {kInitializeAppChannel, kInitializeCoreChannel, kOptionsFromResourceChannel,
        kSetAutomaticDataCollectionEnabledChannel, kSetAutomaticResourceManagementEnabledChannel,
        kDeleteChannel}) {
    const auto reply =
        relay_.Send(channel, *HostApiCodec().EncodeMessage(EncodableList{"x", true}));
    ASSERT_TRUE(reply.answered) << channel;
    EXPECT_TRUE(reply.empty) << channel;
  }
  EXPECT_TRUE(api_.calls.empty());
}

}  // namespace
}  // namespace nimbus_core_windows
