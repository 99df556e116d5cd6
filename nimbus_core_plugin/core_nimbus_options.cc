#include "nimbus_core_plugin/core_nimbus_options.h"

#include <array>

namespace nimbus_core_windows {
namespace {

constexpr size_t kFieldCount = 14;

// An optional text field: absent, or a string (possibly empty).
using OptionalField = std::optional<std::string>;

const std::string& RequiredText(const vela::EncodableList& list, size_t position) {
  return list[position].Get<std::string>();
}

OptionalField OptionalText(const vela::EncodableList& list, size_t position) {
  const vela::EncodableValue& value = list[position];
  if (value.IsNull()) return std::nullopt;
  return value.Get<std::string>();
}

vela::EncodableValue ToValue(const OptionalField& field) {
  return field ? vela::EncodableValue(*field) : vela::EncodableValue();
}

}  // namespace

CoreNimbusOptions::CoreNimbusOptions(std::string_view api_key, std::string_view app_id,
                                     std::string_view messaging_sender_id,
                                     std::string_view project_id)
    : api_key_(api_key),
      app_id_(app_id),
      messaging_sender_id_(messaging_sender_id),
      project_id_(project_id) {}

CoreNimbusOptions CoreNimbusOptions::FromEncodableList(const vela::EncodableList& list) {
  if (list.size() < kFieldCount) throw vela::BadVariantAccess();
  CoreNimbusOptions options(RequiredText(list, 0), RequiredText(list, 1), RequiredText(list, 2),
                            RequiredText(list, 3));
  std::array<OptionalField*, kFieldCount - 4> optional_fields = {
      &options.extra_option_4_,  &options.database_url_,    &options.storage_bucket_,
      &options.extra_option_7_,  &options.tracking_id_,     &options.extra_option_9_,
      &options.extra_option_10_, &options.extra_option_11_, &options.extra_option_12_,
      &options.extra_option_13_};
  for (size_t i = 0; i < optional_fields.size(); ++i) {
    *optional_fields[i] = OptionalText(list, i + 4);
  }
  return options;
}

vela::EncodableList CoreNimbusOptions::ToEncodableList() const {
  return vela::EncodableList{
      vela::EncodableValue(api_key_),
      vela::EncodableValue(app_id_),
      vela::EncodableValue(messaging_sender_id_),
      vela::EncodableValue(project_id_),
      ToValue(extra_option_4_),
      ToValue(database_url_),
      ToValue(storage_bucket_),
      ToValue(extra_option_7_),
      ToValue(tracking_id_),
      ToValue(extra_option_9_),
      ToValue(extra_option_10_),
      ToValue(extra_option_11_),
      ToValue(extra_option_12_),
      ToValue(extra_option_13_),
  };
}

}  // namespace nimbus_core_windows
