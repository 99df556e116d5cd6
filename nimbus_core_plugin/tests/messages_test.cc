#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "embedding_client/encodable_value.h"
#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/core_nimbus_options.h"
#include "nimbus_core_plugin/vela_error.h"

namespace nimbus_core_windows {
namespace {

using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableMap;
using vela::EncodableValue;

CoreNimbusOptions RequiredOnly() { return CoreNimbusOptions("key", "app", "sender", "project"); }

// The text of the exception `build` throws, or "" when it throws none.
template <typename Build>
std::string ErrorText(Build build) {
  try {
    build();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

TEST(CoreNimbusOptionsTest, OptionalFieldsTellAbsentFromEmpty) {
  CoreNimbusOptions options = RequiredOnly();
  EXPECT_EQ(options.api_key(), "key");
  EXPECT_EQ(options.project_id(), "project");
  EXPECT_EQ(options.database_url(), nullptr);
  options.set_database_url("");
  ASSERT_NE(options.database_url(), nullptr);
  EXPECT_EQ(*options.database_url(), "");
  const std::string bucket = "bucket";
  options.set_storage_bucket(&bucket);
  EXPECT_EQ(*options.storage_bucket(), "bucket");
  options.set_storage_bucket(nullptr);
  EXPECT_EQ(options.storage_bucket(), nullptr);

  options.set_extra_option_13("last");
  EncodableList list = options.ToEncodableList();
  ASSERT_EQ(list.size(), 14u);
  EXPECT_EQ(list[0], EncodableValue("key"));
  EXPECT_EQ(list[5], EncodableValue(""));
  EXPECT_TRUE(list[6].IsNull());
  EXPECT_EQ(list[13], EncodableValue("last"));
  EXPECT_EQ(CoreNimbusOptions::FromEncodableList(list), options);
}

TEST(CoreNimbusOptionsTest, MalformedListsThrowBadVariantAccess) {
  EncodableList valid = RequiredOnly().ToEncodableList();
  EncodableList wrong_required = valid;
  wrong_required[2] = EncodableValue(3);
  EncodableList null_required = valid;
  null_required[0] = EncodableValue();
  EncodableList wrong_optional = valid;
  wrong_optional[9] = EncodableValue(true);
  EncodableList short_list(valid.begin(), valid.end() - 1);
  for (const EncodableList& list : {wrong_required, null_required, wrong_optional, short_list}) {
    EXPECT_EQ(ErrorText([&] { CoreNimbusOptions::FromEncodableList(list); }), "bad variant access");
  }
  EXPECT_THROW(CoreNimbusOptions::FromEncodableList({}), std::bad_variant_access);
}

CoreInitializeResponse SampleResponse() {
  EncodableMap constants{{EncodableValue("k"), EncodableValue(1)}};
  return CoreInitializeResponse("[DEFAULT]", RequiredOnly(), constants);
}

TEST(CoreInitializeResponseTest, CopiesAreDeepAndTheFlagIsOptional) {
  CoreInitializeResponse response = SampleResponse();
  EXPECT_EQ(response.is_automatic_data_collection_enabled(), nullptr);
  CoreInitializeResponse copy = response;
  copy.set_options(CoreNimbusOptions("other", "a", "b", "c"));
  copy.set_is_automatic_data_collection_enabled(false);
  EXPECT_EQ(response.options().api_key(), "key");
  EXPECT_EQ(response.is_automatic_data_collection_enabled(), nullptr);
  ASSERT_NE(copy.is_automatic_data_collection_enabled(), nullptr);
  EXPECT_FALSE(*copy.is_automatic_data_collection_enabled());
  response = copy;
  EXPECT_EQ(response, copy);
  CoreInitializeResponse moved = std::move(copy);
  EXPECT_EQ(moved.options().api_key(), "other");

  EncodableList list = response.ToEncodableList();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0], EncodableValue("[DEFAULT]"));
  EXPECT_EQ(list[1].Get<CustomEncodableValue>().Get<CoreNimbusOptions>(), response.options());
  EXPECT_EQ(list[2], EncodableValue(false));
  EXPECT_EQ(list[3], EncodableValue(response.plugin_constants()));
  EXPECT_EQ(CoreInitializeResponse::FromEncodableList(list), response);
}

TEST(CoreInitializeResponseTest, MalformedListsThrowWithFixedTexts) {
  const EncodableList valid = SampleResponse().ToEncodableList();
  auto with = [&valid](size_t position, EncodableValue value) {
    EncodableList list = valid;
    list[position] = std::move(value);
    return list;
  };
  auto text_for = [](const EncodableList& list) {
    return ErrorText([&] { CoreInitializeResponse::FromEncodableList(list); });
  };
  EXPECT_EQ(text_for(with(1, EncodableValue(CustomEncodableValue(SampleResponse())))),
            "Bad any_cast");
  EXPECT_EQ(text_for(with(1, EncodableValue(RequiredOnly().ToEncodableList()))),
            "bad variant access");
  EXPECT_EQ(text_for(with(0, EncodableValue())), "bad variant access");
  EXPECT_EQ(text_for(with(2, EncodableValue(1))), "bad variant access");
  EXPECT_EQ(text_for(with(3, EncodableValue(EncodableList{}))), "bad variant access");
  EXPECT_EQ(text_for(EncodableList(valid.begin(), valid.begin() + 3)), "bad variant access");
}

TEST(ErrorOrTest, HoldsEitherAValueOrAnError) {
  ErrorOr<EncodableList> value(EncodableList{EncodableValue(1)});
  EXPECT_FALSE(value.has_error());
  EXPECT_EQ(value.value().size(), 1u);
  EXPECT_THROW((void)value.error(), std::bad_variant_access);

  ErrorOr<EncodableList> error(VelaError("code", "message", EncodableValue("details")));
  ASSERT_TRUE(error.has_error());
  EXPECT_EQ(error.error().code(), "code");
  EXPECT_EQ(error.error().message(), "message");
  EXPECT_EQ(error.error().details(), EncodableValue("details"));
  EXPECT_THROW((void)error.value(), std::bad_variant_access);
  EXPECT_TRUE(VelaError("only code").details().IsNull());
}

}  // namespace
}  // namespace nimbus_core_windows
