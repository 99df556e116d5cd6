#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_message_codec.h"
#include "nimbus_core_plugin/bridge_internal_codec_serializer.h"
#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/core_nimbus_options.h"

namespace nimbus_core_windows {
namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableMap;
using vela::EncodableValue;

const vela::StandardMessageCodec& Codec() { return BridgeInternalCodecSerializer::GetCodec(); }

Bytes Encode(const EncodableValue& value) { return *Codec().EncodeMessage(value); }

CoreNimbusOptions SampleOptions() { return CoreNimbusOptions("k", "a", "s", "p"); }

// The bytes of SampleOptions() with every optional field absent, tag included.
Bytes SampleOptionsBytes() {
  return {129, 12, 14, 7, 1, 'k', 7, 1, 'a', 7, 1, 's', 7, 1, 'p', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

TEST(BridgeCodecTest, IsTheCodecOfTheProcessWideSerializer) {
  EXPECT_EQ(&Codec(), &vela::StandardMessageCodec::GetInstance(
                          &BridgeInternalCodecSerializer::GetInstance()));
  EXPECT_EQ(&BridgeInternalCodecSerializer::GetInstance(),
            &BridgeInternalCodecSerializer::GetInstance());
}

TEST(BridgeCodecTest, OptionsHaveTheirWireBytes) {
  EXPECT_THAT(Encode(EncodableValue(CustomEncodableValue(SampleOptions()))),
              ElementsAreArray(SampleOptionsBytes()));

  CoreNimbusOptions with_empty = SampleOptions();
  with_empty.set_database_url("");
  Bytes expected = SampleOptionsBytes();
  expected[16] = 7;  // position 5: tag 7 and length 0 instead of null
  expected.insert(expected.begin() + 17, 0);
  Bytes encoded = Encode(EncodableValue(CustomEncodableValue(with_empty)));
  EXPECT_THAT(encoded, ElementsAreArray(expected));
  auto decoded = Codec().DecodeMessage(encoded);
  ASSERT_TRUE(decoded);
  const auto& options = decoded->Get<CustomEncodableValue>().Get<CoreNimbusOptions>();
  ASSERT_NE(options.database_url(), nullptr);
  EXPECT_EQ(*options.database_url(), "");
  EXPECT_EQ(options, with_empty);
}

// Every field has its own position on the wire, both ways: field i holds the letter
// 'a' + i.
TEST(BridgeCodecTest, EachOptionHasItsOwnWirePosition) {
  CoreNimbusOptions options("a", "b", "c", "d");
  options.set_extra_option_4("e");
  options.set_database_url("f");
  options.set_storage_bucket("g");
  options.set_extra_option_7("h");
  options.set_tracking_id("i");
  options.set_extra_option_9("j");
  options.set_extra_option_10("k");
  options.set_extra_option_11("l");
  options.set_extra_option_12("m");
  options.set_extra_option_13("n");
  Bytes expected = {129, 12, 14};
  for (uint8_t letter = 'a'; letter <= 'n'; ++letter)
    expected.insert(expected.end(), {7, 1, letter});
  EXPECT_THAT(Encode(EncodableValue(CustomEncodableValue(options))), ElementsAreArray(expected));

  auto decoded = Codec().DecodeMessage(expected);
  ASSERT_TRUE(decoded);
  const auto& read = decoded->Get<CustomEncodableValue>().Get<CoreNimbusOptions>();
  const auto text = [](const std::string* field) { return field ? *field : "(absent)"; };
  const std::vector<std::string> fields = {read.api_key(),
                                           read.app_id(),
                                           read.messaging_sender_id(),
                                           read.project_id(),
                                           text(read.extra_option_4()),
                                           text(read.database_url()),
                                           text(read.storage_bucket()),
                                           text(read.extra_option_7()),
                                           text(read.tracking_id()),
                                           text(read.extra_option_9()),
                                           text(read.extra_option_10()),
                                           text(read.extra_option_11()),
                                           text(read.extra_option_12()),
                                           text(read.extra_option_13())};
  EXPECT_THAT(fields,
              ElementsAre("a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n"));
}

TEST(BridgeCodecTest, ResponsesNestTheirOptions) {
  CoreInitializeResponse response("app", SampleOptions(),
                                  EncodableMap{{EncodableValue("c"), EncodableValue(true)}});
  Bytes encoded = Encode(EncodableValue(CustomEncodableValue(response)));
  Bytes expected = {130, 12, 4, 7, 3, 'a', 'p', 'p'};
  const Bytes options = SampleOptionsBytes();
  expected.insert(expected.end(), options.begin(), options.end());
  expected.insert(expected.end(), {0, 13, 1, 7, 1, 'c', 1});
  EXPECT_THAT(encoded, ElementsAreArray(expected));

  response.set_is_automatic_data_collection_enabled(true);
  auto decoded = Codec().DecodeMessage(Encode(EncodableValue(CustomEncodableValue(response))));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->Get<CustomEncodableValue>().Get<CoreInitializeResponse>(), response);
}

TEST(BridgeCodecTest, RecordsRoundTripAnywhereInAMessage) {
  CoreNimbusOptions options = SampleOptions();
  options.set_tracking_id("t");
  options.set_extra_option_11("x");
  CoreInitializeResponse response("r", options, EncodableMap{});
  EncodableMap map;
  map[EncodableValue(CustomEncodableValue(options))] =
      EncodableValue(EncodableList{EncodableValue(CustomEncodableValue(response))});
  // A success reply of the initialise request, inside further nesting.
  EncodableValue value(EncodableList{EncodableValue(map), EncodableValue(2.5),
                                     EncodableValue(CustomEncodableValue(options))});
  auto decoded = Codec().DecodeMessage(Encode(value));
  ASSERT_TRUE(decoded);
  const auto& list = decoded->Get<EncodableList>();
  const auto& [key, element] = *list[0].Get<EncodableMap>().begin();
  EXPECT_EQ(key.Get<CustomEncodableValue>().Get<CoreNimbusOptions>(), options);
  EXPECT_EQ(
      element.Get<EncodableList>()[0].Get<CustomEncodableValue>().Get<CoreInitializeResponse>(),
      response);
  EXPECT_EQ(list[1], EncodableValue(2.5));
  EXPECT_EQ(list[2].Get<CustomEncodableValue>().Get<CoreNimbusOptions>(), options);
}

TEST(BridgeCodecTest, MalformedRecordsFailTheDecodeWithoutThrowing) {
  Bytes short_options = {129, 12, 1, 7, 1, 'k'};
  Bytes not_a_list = {129, 7, 1, 'k'};
  Bytes wrong_field = SampleOptionsBytes();
  wrong_field[20] = 1;  // position 9 becomes true
  Bytes response_with_response_options = {130, 12, 4, 7, 0, 130, 12, 0, 0, 13, 0};
  Bytes endless_tags(100000, 129);
  for (const Bytes& bytes :
       {short_options, not_a_list, wrong_field, response_with_response_options, endless_tags}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(Codec().DecodeMessage(bytes), nullptr);
    testing::internal::GetCapturedStderr();
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(Codec().DecodeMessage(not_a_list), nullptr);
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              HasSubstr("BridgeInternalCodecSerializer::ReadValueOfType: bad variant access"));
}

TEST(BridgeCodecTest, OtherValuesFollowTheStandardFormat) {
  testing::internal::CaptureStderr();
  Bytes unknown_custom = Encode(EncodableValue(CustomEncodableValue(42)));
  EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("Unhandled custom type"));
  EXPECT_THAT(unknown_custom, ElementsAre(0));
  // A successful delete reply.
  EXPECT_THAT(Encode(EncodableValue(EncodableList{EncodableValue()})), ElementsAre(12, 1, 0));
  auto standard = Codec().DecodeMessage(Bytes{12, 2, 3, 1, 0, 0, 0, 7, 0});
  ASSERT_TRUE(standard);
  EXPECT_EQ(*standard, EncodableValue(EncodableList{EncodableValue(1), EncodableValue("")}));
}

}  // namespace
}  // namespace nimbus_core_windows
