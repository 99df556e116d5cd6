#include "nimbus_core_plugin/nimbus_core_plugin.h"

#include <memory>
#include <utility>

#include "app/app_options.h"
#include "embedding_client/plugin_registrar_directory.h"
#include "nimbus_core_plugin/nimbus_core_plugin_c_api.h"
#include "nimbus_core_plugin/options_conversion.h"
#include "nimbus_core_plugin/vela_nimbus_plugin.h"

namespace nimbus_core_windows {
namespace {

// The app core's own words for options that stay incomplete.
constexpr char kAppNotCreatedMessage[] =
    "App ID, API key, and Project ID must be specified in App options.";

// The further plug-ins' constants for `app`, each under its plug-in's name.
vela::EncodableMap PluginConstantsForApp(nimbus::App* app) {
  vela::EncodableMap constants;
  for (const auto& [name, plugin] : NimbusPluginDirectory::GetInstance().plugins()) {
    constants[vela::EncodableValue(name)] =
        vela::EncodableValue(plugin->PluginConstantsForApp(app));
  }
  return constants;
}

}  // namespace

void NimbusCorePlugin::RegisterWithRegistrar(vela::PluginRegistrarWindows* registrar) {
  auto plugin = std::make_unique<NimbusCorePlugin>();
  NimbusCoreHostApi::SetUp(registrar->messenger(), plugin.get());
  NimbusAppHostApi::SetUp(registrar->messenger(), plugin.get());
  registrar->AddPlugin(std::move(plugin));
  nimbus::App::RegisterLibrary(kLibraryName, kPluginVersion);
}

CoreInitializeResponse NimbusCorePlugin::DescribeApp(nimbus::App* app) {
  return CoreInitializeResponse(app->name(), ToCoreNimbusOptions(app->options()),
                                PluginConstantsForApp(app));
}

void NimbusCorePlugin::InitializeApp(
    const std::string& app_name, const CoreNimbusOptions& initialize_app_request,
    std::function<void(ErrorOr<CoreInitializeResponse> reply)> result) {
  // Deleting the last app empties the library registry; name the plug-in again so that
  // the new app's heartbeat carries it.
  nimbus::App::RegisterLibrary(kLibraryName, kPluginVersion);
  nimbus::App* app = nimbus::App::Create(ToAppOptions(initialize_app_request), app_name.c_str());
  if (app == nullptr) {
    result(VelaError("app-not-created", kAppNotCreatedMessage));
    return;
  }
  result(DescribeApp(app));
}

void NimbusCorePlugin::InitializeCore(
    std::function<void(ErrorOr<vela::EncodableList> reply)> result) {
  if (core_initialized_) {
    for (const auto& entry : NimbusPluginDirectory::GetInstance().plugins()) {
      entry.second->OnCoreReinitialized();
    }
  }
  core_initialized_ = true;
  vela::EncodableList descriptions;
  for (nimbus::App* app : nimbus::App::GetApps()) {
    descriptions.emplace_back(vela::CustomEncodableValue(DescribeApp(app)));
  }
  result(std::move(descriptions));
}

void NimbusCorePlugin::OptionsFromResource(
    std::function<void(ErrorOr<CoreNimbusOptions> reply)> result) {
  nimbus::AppOptions options;
  if (nimbus::LoadDefaultOptions(&options) != nullptr) {
    result(ToCoreNimbusOptions(options));
    return;
  }
  const std::string directory = nimbus::GetConfigDirectory();
  result(VelaError("options-not-found", "Unable to load Nimbus app options ([" + directory +
                                            nimbus::kConfigFileDesktop + ", " + directory +
                                            nimbus::kConfigFileDefault +
                                            "] are missing or malformed)"));
}

void NimbusCorePlugin::SetAutomaticDataCollectionEnabled(
    const std::string&, bool, std::function<void(std::optional<VelaError> reply)> result) {
  result(std::nullopt);
}

void NimbusCorePlugin::SetAutomaticResourceManagementEnabled(
    const std::string&, bool, std::function<void(std::optional<VelaError> reply)> result) {
  result(std::nullopt);
}

void NimbusCorePlugin::Delete(const std::string& app_name,
                              std::function<void(std::optional<VelaError> reply)> result) {
  // The plug-in created the app, so it is the plug-in's to destroy; destroying it takes
  // it out of the registry.
  delete nimbus::App::GetInstance(app_name.c_str());
  result(std::nullopt);
}

}  // namespace nimbus_core_windows

extern "C" void NimbusCorePluginCApiRegisterWithRegistrar(VelaDesktopPluginRegistrar registrar) {
  vela::PluginRegistrarWindows* windows_registrar =
      vela::PluginRegistrarDirectory::GetInstance().GetRegistrar(registrar);
  if (windows_registrar == nullptr) return;
  nimbus_core_windows::NimbusCorePlugin::RegisterWithRegistrar(windows_registrar);
}
