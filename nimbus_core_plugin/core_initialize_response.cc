#include "nimbus_core_plugin/core_initialize_response.h"

namespace nimbus_core_windows {

CoreInitializeResponse::CoreInitializeResponse(std::string_view name,
                                               const CoreNimbusOptions& options,
                                               const vela::EncodableMap& plugin_constants)
    : name_(name),
      options_(std::make_unique<CoreNimbusOptions>(options)),
      plugin_constants_(plugin_constants) {}

CoreInitializeResponse::CoreInitializeResponse(const CoreInitializeResponse& other)
    : name_(other.name_),
      options_(std::make_unique<CoreNimbusOptions>(*other.options_)),
      is_automatic_data_collection_enabled_(other.is_automatic_data_collection_enabled_),
      plugin_constants_(other.plugin_constants_) {}

CoreInitializeResponse& CoreInitializeResponse::operator=(const CoreInitializeResponse& other) {
  if (this != &other) *this = CoreInitializeResponse(other);
  return *this;
}

void CoreInitializeResponse::set_options(const CoreNimbusOptions& value) {
  options_ = std::make_unique<CoreNimbusOptions>(value);
}

CoreInitializeResponse CoreInitializeResponse::FromEncodableList(const vela::EncodableList& list) {
  if (list.size() < 4) throw vela::BadVariantAccess();
  const auto& plugin_constants = list[3].Get<vela::EncodableMap>();
  const auto& options = list[1].Get<vela::CustomEncodableValue>().Get<CoreNimbusOptions>();
  const auto& name = list[0].Get<std::string>();
  CoreInitializeResponse response(name, options, plugin_constants);
  if (!list[2].IsNull()) response.set_is_automatic_data_collection_enabled(list[2].Get<bool>());
  return response;
}

vela::EncodableList CoreInitializeResponse::ToEncodableList() const {
  return vela::EncodableList{
      vela::EncodableValue(name_),
      vela::EncodableValue(vela::CustomEncodableValue(*options_)),
      is_automatic_data_collection_enabled_
          ? vela::EncodableValue(*is_automatic_data_collection_enabled_)
          : vela::EncodableValue(),
      vela::EncodableValue(plugin_constants_),
  };
}

bool operator==(const CoreInitializeResponse& a, const CoreInitializeResponse& b) {
  return a.name_ == b.name_ && *a.options_ == *b.options_ &&
         a.is_automatic_data_collection_enabled_ == b.is_automatic_data_collection_enabled_ &&
         a.plugin_constants_ == b.plugin_constants_;
}

}  // namespace nimbus_core_windows
