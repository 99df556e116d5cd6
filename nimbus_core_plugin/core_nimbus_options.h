#ifndef TERVALA_NIMBUS_CORE_PLUGIN_CORE_NIMBUS_OPTIONS_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_CORE_NIMBUS_OPTIONS_H_

// The options of a cloud app as they travel between the engine-side application and the
// plug-in: fourteen text fields, four required and ten optional, in a fixed list order.

#include <optional>
#include <string>
#include <string_view>

#include "embedding_client/encodable_value.h"

namespace nimbus_core_windows {

// Options of one app. An optional field that is absent differs from one that holds the
// empty string. Optional getters return null when the field is absent; the setter that
// takes a pointer clears the field when given null.
class CoreNimbusOptions {
 public:
  CoreNimbusOptions(std::string_view api_key, std::string_view app_id,
                    std::string_view messaging_sender_id, std::string_view project_id);

  const std::string& api_key() const { return api_key_; }
  void set_api_key(std::string_view value) { api_key_ = value; }
  const std::string& app_id() const { return app_id_; }
  void set_app_id(std::string_view value) { app_id_ = value; }
  const std::string& messaging_sender_id() const { return messaging_sender_id_; }
  void set_messaging_sender_id(std::string_view value) { messaging_sender_id_ = value; }
  const std::string& project_id() const { return project_id_; }
  void set_project_id(std::string_view value) { project_id_ = value; }

// Getter and both setters of one optional text field.
#define NIMBUS_OPTIONAL_TEXT_FIELD(name)                                    \
  const std::string* name() const { return name##_ ? &*name##_ : nullptr; } \
  void set_##name(std::string_view value) { name##_ = std::string(value); } \
  void set_##name(const std::string* value) {                               \
    name##_ = value ? std::optional<std::string>(*value) : std::nullopt;    \
  }

  NIMBUS_OPTIONAL_TEXT_FIELD(extra_option_4)
  NIMBUS_OPTIONAL_TEXT_FIELD(database_url)
  NIMBUS_OPTIONAL_TEXT_FIELD(storage_bucket)
  NIMBUS_OPTIONAL_TEXT_FIELD(extra_option_7)
  NIMBUS_OPTIONAL_TEXT_FIELD(tracking_id)
  NIMBUS_OPTIONAL_TEXT_FIELD(extra_option_9)
  NIMBUS_OPTIONAL_TEXT_FIELD(extra_option_10)
  NIMBUS_OPTIONAL_TEXT_FIELD(extra_option_11)
  NIMBUS_OPTIONAL_TEXT_FIELD(extra_option_12)
  NIMBUS_OPTIONAL_TEXT_FIELD(extra_option_13)
#undef NIMBUS_OPTIONAL_TEXT_FIELD

  // The record from its list form. Throws vela::BadVariantAccess when the list has fewer
  // than fourteen values, a required position is not a string, or an optional one is
  // neither null nor a string.
  static CoreNimbusOptions FromEncodableList(const vela::EncodableList& list);
  // The list form: fourteen values in position order, null for each absent field.
  vela::EncodableList ToEncodableList() const;

  friend bool operator==(const CoreNimbusOptions&, const CoreNimbusOptions&) = default;

 private:
  std::string api_key_;
  std::string app_id_;
  std::string messaging_sender_id_;
  std::string project_id_;
  std::optional<std::string> extra_option_4_;
  std::optional<std::string> database_url_;
  std::optional<std::string> storage_bucket_;
  std::optional<std::string> extra_option_7_;
  std::optional<std::string> tracking_id_;
  std::optional<std::string> extra_option_9_;
  std::optional<std::string> extra_option_10_;
  std::optional<std::string> extra_option_11_;
  std::optional<std::string> extra_option_12_;
  std::optional<std::string> extra_option_13_;
};

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_CORE_NIMBUS_OPTIONS_H_
