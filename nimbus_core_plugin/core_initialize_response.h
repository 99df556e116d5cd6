#ifndef TERVALA_NIMBUS_CORE_PLUGIN_CORE_INITIALIZE_RESPONSE_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_CORE_INITIALIZE_RESPONSE_H_

// The description of an initialised app that the plug-in sends back: its name, its
// options, its data-collection flag and the plug-in's constants.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "embedding_client/encodable_value.h"
#include "nimbus_core_plugin/core_nimbus_options.h"

namespace nimbus_core_windows {

// An initialised app. Copies are deep (the options too); the data-collection flag may
// be absent, and its getter returns null then.
class CoreInitializeResponse {
 public:
  CoreInitializeResponse(std::string_view name, const CoreNimbusOptions& options,
                         const vela::EncodableMap& plugin_constants);

  CoreInitializeResponse(const CoreInitializeResponse& other);
  CoreInitializeResponse& operator=(const CoreInitializeResponse& other);
  CoreInitializeResponse(CoreInitializeResponse&&) noexcept = default;
  CoreInitializeResponse& operator=(CoreInitializeResponse&&) noexcept = default;

  const std::string& name() const { return name_; }
  void set_name(std::string_view value) { name_ = value; }

  const CoreNimbusOptions& options() const { return *options_; }
  void set_options(const CoreNimbusOptions& value);

  const bool* is_automatic_data_collection_enabled() const {
    return is_automatic_data_collection_enabled_ ? &*is_automatic_data_collection_enabled_
                                                 : nullptr;
  }
  void set_is_automatic_data_collection_enabled(bool value) {
    is_automatic_data_collection_enabled_ = value;
  }
  void set_is_automatic_data_collection_enabled(const bool* value) {
    is_automatic_data_collection_enabled_ = value ? std::optional<bool>(*value) : std::nullopt;
  }

  const vela::EncodableMap& plugin_constants() const { return plugin_constants_; }
  void set_plugin_constants(const vela::EncodableMap& value) { plugin_constants_ = value; }

  // The record from its list form. Throws vela::BadVariantAccess when the list has fewer
  // than four values or a position holds the wrong alternative, and vela::BadAnyCast
  // when position 1 is a custom value of another type than CoreNimbusOptions.
  static CoreInitializeResponse FromEncodableList(const vela::EncodableList& list);
  // The list form: name, the options as a custom value, the flag or null, the constants.
  vela::EncodableList ToEncodableList() const;

  // Field-wise equality (the constants compare as encodable values do).
  friend bool operator==(const CoreInitializeResponse& a, const CoreInitializeResponse& b);

 private:
  std::string name_;
  std::unique_ptr<CoreNimbusOptions> options_;
  std::optional<bool> is_automatic_data_collection_enabled_;
  vela::EncodableMap plugin_constants_;
};

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_CORE_INITIALIZE_RESPONSE_H_
