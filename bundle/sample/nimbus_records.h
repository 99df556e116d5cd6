// The cloud-app core's records as the engine side uses them: app options and app
// descriptions in a form convenient for showing them, carried as the plug-in's own records
// in its codec; and the reply envelopes of the core's channels.
#ifndef TERVALA_BUNDLE_SAMPLE_NIMBUS_RECORDS_H_
#define TERVALA_BUNDLE_SAMPLE_NIMBUS_RECORDS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "embedding_client/encodable_value.h"

namespace tervala_bundle {

// The channels of the cloud-app core plug-in.
inline constexpr char kInitializeAppChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusCoreHostApi.initializeApp";
inline constexpr char kInitializeCoreChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusCoreHostApi.initializeCore";
inline constexpr char kOptionsFromResourceChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusCoreHostApi.optionsFromResource";
inline constexpr char kSetDataCollectionChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusAppHostApi."
    "setAutomaticDataCollectionEnabled";
inline constexpr char kSetResourceManagementChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusAppHostApi."
    "setAutomaticResourceManagementEnabled";
inline constexpr char kDeleteChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusAppHostApi.delete";

// The name of the app that an application gets when it asks for none.
inline constexpr char kDefaultAppName[] = "__NIMBUSAPP_DEFAULT";

// Messages of the core's channels: the standard codec with the core's records,
// CoreNimbusOptions under type tag 129 and CoreInitializeResponse under 130. These go to the
// plug-in's serializer directly rather than through the process-wide message codecs, whose
// lasting allocations would outlive a bundle library once the engine unloads it.
std::vector<uint8_t> EncodeRecordMessage(const vela::EncodableValue& value);
// The value of a message; null for no bytes; empty when the bytes do not decode.
std::optional<vela::EncodableValue> DecodeRecordMessage(const uint8_t* data, size_t size);

// App options: the four required texts and the ten optional ones, in wire order.
struct AppOptionsRecord {
  static constexpr size_t kFieldCount = 14;
  enum Field : size_t {
    kApiKey = 0,
    kAppId = 1,
    kMessagingSenderId = 2,
    kProjectId = 3,
    kDatabaseUrl = 5,
    kStorageBucket = 6,
    kTrackingId = 8,
  };
  // Absent optional fields are empty; required fields are present, possibly empty.
  std::array<std::optional<std::string>, kFieldCount> fields;

  AppOptionsRecord();
  const std::string& Text(Field field) const;

  // The record as a value of the codec (a CoreNimbusOptions).
  vela::EncodableValue ToValue() const;
  // The record held by a CoreNimbusOptions value; empty when the value is anything else.
  static std::optional<AppOptionsRecord> FromValue(const vela::EncodableValue& value);
};

// An app as the core describes it.
struct AppDescription {
  std::string name;
  AppOptionsRecord options;
  std::optional<bool> data_collection_enabled;
  vela::EncodableMap plugin_constants;

  vela::EncodableValue ToValue() const;  // a CoreInitializeResponse value
  // The description held by a CoreInitializeResponse value; empty for anything else.
  static std::optional<AppDescription> FromValue(const vela::EncodableValue& value);
};

// One reply of the core's channels, taken apart.
struct ChannelReply {
  enum class Kind {
    kEmpty,      // no bytes: no handler, or the request was not answered
    kMalformed,  // bytes that do not decode to a reply envelope
    kSuccess,    // [value]
    kError,      // [code, message, details]
  };
  Kind kind = Kind::kEmpty;
  vela::EncodableValue value;  // the success value, or the error details
  std::string code;
  std::string message;

  static ChannelReply Decode(const uint8_t* data, size_t size);
};

// A short readable form of a value, for frames and summaries.
std::string ValueText(const vela::EncodableValue& value);

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_SAMPLE_NIMBUS_RECORDS_H_
