#include "bundle/sample/nimbus_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tervala_bundle {
namespace {

AppOptionsRecord Options(const std::string& tag) {
  AppOptionsRecord options;
  options.fields[AppOptionsRecord::kApiKey] = "key-" + tag;
  options.fields[AppOptionsRecord::kAppId] = "app-" + tag;
  options.fields[AppOptionsRecord::kMessagingSenderId] = "";
  options.fields[AppOptionsRecord::kProjectId] = "project-" + tag;
  options.fields[AppOptionsRecord::kStorageBucket] = "";
  return options;
}

std::vector<uint8_t> Encoded(const vela::EncodableValue& value) {
  return EncodeRecordMessage(value);
}

TEST(NimbusRecordsTest, OptionsTravelUnderTag129AsAListOfFourteen) {
  AppOptionsRecord options;
  options.fields[AppOptionsRecord::kApiKey] = "k";
  const std::vector<uint8_t> expected = {129, 12, 14, 7, 1, 'k', 7, 0, 7, 0, 7,
                                         0,   0,  0,  0, 0, 0,   0, 0, 0, 0, 0};
  EXPECT_EQ(Encoded(options.ToValue()), expected);

  // An optional text set to "" stays set; absent ones stay absent.
  const AppOptionsRecord original = Options("x");
  const std::vector<uint8_t> bytes = Encoded(original.ToValue());
  std::optional<vela::EncodableValue> decoded = DecodeRecordMessage(bytes.data(), bytes.size());
  ASSERT_TRUE(decoded);
  std::optional<AppOptionsRecord> back = AppOptionsRecord::FromValue(*decoded);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->fields, original.fields);
}

TEST(NimbusRecordsTest, DescriptionsNestTheirOptionsAndComeBackWhole) {
  AppDescription app;
  app.name = "__NIMBUSAPP_DEFAULT";
  app.options = Options("y");
  app.plugin_constants[vela::EncodableValue("plugin")] = vela::EncodableValue(
      vela::EncodableMap{{vela::EncodableValue("k"), vela::EncodableValue(1)}});
  const std::vector<uint8_t> bytes =
      Encoded(vela::EncodableValue(vela::EncodableList{app.ToValue()}));
  EXPECT_EQ(bytes[0], 12);
  EXPECT_EQ(bytes[2], 130);

  const ChannelReply reply = ChannelReply::Decode(bytes.data(), bytes.size());
  ASSERT_EQ(reply.kind, ChannelReply::Kind::kSuccess);
  std::optional<AppDescription> back = AppDescription::FromValue(reply.value);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->name, app.name);
  EXPECT_EQ(back->options.fields, app.options.fields);
  EXPECT_FALSE(back->data_collection_enabled);
  EXPECT_EQ(ValueText(vela::EncodableValue(back->plugin_constants)), "{plugin: {k: 1}}");
}

TEST(NimbusRecordsTest, RepliesAreToldApart) {
  EXPECT_EQ(ChannelReply::Decode(nullptr, 0).kind, ChannelReply::Kind::kEmpty);

  const std::vector<uint8_t> error = Encoded(vela::EncodableValue(
      vela::EncodableList{vela::EncodableValue("app-not-created"),
                          vela::EncodableValue("no options"), vela::EncodableValue()}));
  const ChannelReply failed = ChannelReply::Decode(error.data(), error.size());
  EXPECT_EQ(failed.kind, ChannelReply::Kind::kError);
  EXPECT_EQ(failed.code, "app-not-created");
  EXPECT_EQ(failed.message, "no options");

  const std::vector<uint8_t> null_success = {12, 1, 0};
  EXPECT_EQ(ChannelReply::Decode(null_success.data(), null_success.size()).kind,
            ChannelReply::Kind::kSuccess);

  // Not a list, a list of two, a record whose body is no list, a truncated message.
  for (const std::vector<uint8_t>& bytes :
       {std::vector<uint8_t>{7, 1, 'a'}, std::vector<uint8_t>{12, 2, 0, 0},
        std::vector<uint8_t>{12, 1, 129, 7, 0}, std::vector<uint8_t>{12, 3, 7, 9, 'a'}}) {
    EXPECT_EQ(ChannelReply::Decode(bytes.data(), bytes.size()).kind,
              ChannelReply::Kind::kMalformed);
  }
}

TEST(NimbusRecordsTest, ValuesOfOtherKindsAreNoRecords) {
  AppDescription app;
  app.name = "a";
  EXPECT_FALSE(AppOptionsRecord::FromValue(app.ToValue()));
  EXPECT_FALSE(AppDescription::FromValue(app.options.ToValue()));
  EXPECT_FALSE(AppDescription::FromValue(vela::EncodableValue("app")));
  EXPECT_FALSE(AppOptionsRecord::FromValue(vela::EncodableValue(vela::CustomEncodableValue(42))));

  // Options of thirteen values do not decode at all.
  std::vector<uint8_t> short_options = {12, 1, 129, 12, 13};
  short_options.insert(short_options.end(), 13, 0);
  EXPECT_EQ(ChannelReply::Decode(short_options.data(), short_options.size()).kind,
            ChannelReply::Kind::kMalformed);
}

}  // namespace
}  // namespace tervala_bundle
