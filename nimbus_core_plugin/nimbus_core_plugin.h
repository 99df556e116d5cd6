#ifndef TERVALA_NIMBUS_CORE_PLUGIN_NIMBUS_CORE_PLUGIN_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_NIMBUS_CORE_PLUGIN_H_

// The native side of the cloud-app core: serves the six host channels by creating,
// listing and deleting the app core's apps and describing them back.

#include <functional>
#include <optional>
#include <string>

#include "app/app.h"
#include "embedding_client/plugin_registrar.h"
#include "embedding_client/plugin_registrar_windows.h"
#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/host_api.h"

namespace nimbus_core_windows {

// The library name and version the plug-in adds to the app core's user agent.
inline constexpr char kLibraryName[] = "vela-nimbus-core";
inline constexpr char kPluginVersion[] = "4.15.0";

// The cloud-app core plug-in. Owned by its registrar; every operation runs on the UI
// thread and answers before it returns.
class NimbusCorePlugin : public vela::Plugin, public NimbusCoreHostApi, public NimbusAppHostApi {
 public:
  // Creates the plug-in, installs its channels on the registrar's messenger, hands it to
  // the registrar and names the library in the user agent.
  static void RegisterWithRegistrar(vela::PluginRegistrarWindows* registrar);

  NimbusCorePlugin() = default;
  ~NimbusCorePlugin() override = default;

  // Creates the app (or finds the app of that name) and describes it; an error
  // "app-not-created" when the options stay incomplete.
  void InitializeApp(const std::string& app_name, const CoreNimbusOptions& initialize_app_request,
                     std::function<void(ErrorOr<CoreInitializeResponse> reply)> result) override;
  // Describes every app; from the second call on, tells the further plug-ins first.
  void InitializeCore(std::function<void(ErrorOr<vela::EncodableList> reply)> result) override;
  // The options of the first configuration file that loads; an error "options-not-found"
  // naming the files tried when none does.
  void OptionsFromResource(std::function<void(ErrorOr<CoreNimbusOptions> reply)> result) override;

  // Acknowledged: apps carry no such flags.
  void SetAutomaticDataCollectionEnabled(
      const std::string& app_name, bool enabled,
      std::function<void(std::optional<VelaError> reply)> result) override;
  void SetAutomaticResourceManagementEnabled(
      const std::string& app_name, bool enabled,
      std::function<void(std::optional<VelaError> reply)> result) override;
  // Destroys the app of that name, if there is one; succeeds either way.
  void Delete(const std::string& app_name,
              std::function<void(std::optional<VelaError> reply)> result) override;

  // The description of `app`: its name, its options as sent back, and the further
  // plug-ins' constants.
  static CoreInitializeResponse DescribeApp(nimbus::App* app);

 private:
  bool core_initialized_ = false;
};

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_NIMBUS_CORE_PLUGIN_H_
