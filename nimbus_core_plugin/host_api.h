#ifndef TERVALA_NIMBUS_CORE_PLUGIN_HOST_API_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_HOST_API_H_

// The two interfaces through which the engine-side application drives the cloud-app core
// plug-in, and the six channels that carry their requests and replies.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "embedding_client/binary_messenger.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_message_codec.h"
#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/core_nimbus_options.h"
#include "nimbus_core_plugin/vela_error.h"

namespace nimbus_core_windows {

// The channel names, before any suffix.
inline constexpr char kInitializeAppChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusCoreHostApi.initializeApp";
inline constexpr char kInitializeCoreChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusCoreHostApi.initializeCore";
inline constexpr char kOptionsFromResourceChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusCoreHostApi.optionsFromResource";
inline constexpr char kSetAutomaticDataCollectionEnabledChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusAppHostApi."
    "setAutomaticDataCollectionEnabled";
inline constexpr char kSetAutomaticResourceManagementEnabledChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusAppHostApi."
    "setAutomaticResourceManagementEnabled";
inline constexpr char kDeleteChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusAppHostApi.delete";

// `base`, followed by "." and `suffix` when the suffix is not empty.
std::string HostApiChannelName(std::string_view base, std::string_view suffix);

// The codec of every host channel: the standard codec with the plug-in's two records.
const vela::StandardMessageCodec& HostApiCodec();

// The reply envelopes. A success is a one-element list; an error is [code, message,
// details].
vela::EncodableValue WrapError(const VelaError& error);
// The envelope of an error found while unpacking a request: [text, "Error", null].
vela::EncodableValue WrapError(std::string_view text);

// Initialising apps, listing them, and reading options from the configuration files.
// Each operation owns its result callable and calls it at most once.
class NimbusCoreHostApi {
 public:
  NimbusCoreHostApi() = default;
  virtual ~NimbusCoreHostApi() = default;
  NimbusCoreHostApi(const NimbusCoreHostApi&) = delete;
  NimbusCoreHostApi& operator=(const NimbusCoreHostApi&) = delete;

  virtual void InitializeApp(const std::string& app_name,
                             const CoreNimbusOptions& initialize_app_request,
                             std::function<void(ErrorOr<CoreInitializeResponse> reply)> result) = 0;
  virtual void InitializeCore(std::function<void(ErrorOr<vela::EncodableList> reply)> result) = 0;
  virtual void OptionsFromResource(
      std::function<void(ErrorOr<CoreNimbusOptions> reply)> result) = 0;

  // Installs the handlers of the three channels on `messenger`, calling `api` (which must
  // outlive the messenger's use of them); a null `api` removes the handlers.
  static void SetUp(vela::BinaryMessenger* messenger, NimbusCoreHostApi* api);
  static void SetUp(vela::BinaryMessenger* messenger, NimbusCoreHostApi* api,
                    const std::string& channel_suffix);
};

// Per-app requests: the two service flags and deleting an app.
class NimbusAppHostApi {
 public:
  NimbusAppHostApi() = default;
  virtual ~NimbusAppHostApi() = default;
  NimbusAppHostApi(const NimbusAppHostApi&) = delete;
  NimbusAppHostApi& operator=(const NimbusAppHostApi&) = delete;

  virtual void SetAutomaticDataCollectionEnabled(
      const std::string& app_name, bool enabled,
      std::function<void(std::optional<VelaError> reply)> result) = 0;
  virtual void SetAutomaticResourceManagementEnabled(
      const std::string& app_name, bool enabled,
      std::function<void(std::optional<VelaError> reply)> result) = 0;
  virtual void Delete(const std::string& app_name,
                      std::function<void(std::optional<VelaError> reply)> result) = 0;

  // As NimbusCoreHostApi::SetUp, for this interface's three channels.
  static void SetUp(vela::BinaryMessenger* messenger, NimbusAppHostApi* api);
  static void SetUp(vela::BinaryMessenger* messenger, NimbusAppHostApi* api,
                    const std::string& channel_suffix);
};

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_HOST_API_H_
