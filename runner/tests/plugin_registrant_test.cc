// The registrant with a running engine: every plug-in registered in order under its own
// name, and each answering on its channel as soon as the registrant has run.

#include "runner/plugin_registrant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "app/heartbeat/platform_files.h"
#include "embedding_client/standard_message_codec.h"
#include "nimbus_core_plugin/host_api.h"
#include "plugins/tests/relay_engine.h"
#include "platform/test_support/environment.h"
#include "platform/test_support/scratch_folder.h"

namespace {

using tervala_plugins::testing::RelayEngine;
using vela::EncodableList;
using vela::EncodableValue;

// The engine's registry, recording which registrar names were asked for.
class RecordingRegistry : public vela::PluginRegistry {
 public:
  explicit RecordingRegistry(vela::PluginRegistry* engine) : engine_(engine) {}
  VelaDesktopPluginRegistrar RegistrarForPlugin(const std::string& plugin_name) override {
    names.push_back(plugin_name);
    return engine_ != nullptr ? engine_->RegistrarForPlugin(plugin_name) : nullptr;
  }
  std::vector<std::string> names;

 private:
  vela::PluginRegistry* engine_;
};

// The core plug-in's files go to a folder of the test's own, not the user's.
class AppDataFolder {
 public:
  AppDataFolder() { nimbus::SetLocalAppDataFolder(folder_.utf8()); }
  ~AppDataFolder() { nimbus::SetLocalAppDataFolder(""); }

 private:
  tervala_testing::ScratchFolder folder_{"registrant-data"};
};

TEST(PluginRegistrantTest, RegistersThePluginsInOrderAndTheirChannelsAnswer) {
  AppDataFolder data;
  RelayEngine relay;
  ASSERT_TRUE(relay.is_running());
  RecordingRegistry registry(&relay.engine());
  RegisterAllPlugins(&registry);
  EXPECT_EQ(registry.names,
            (std::vector<std::string>{"NimbusCorePluginCApi", "PermissionsWindowsPlugin",
                                      "LinkOpenerWindows"}));
  EXPECT_NE(nimbus::App::GetUserAgentCopy().find("vela-nimbus-core/4.15.0"), std::string::npos);

  // No window exists, let alone a shown one: the channels answer already.
  EXPECT_EQ(relay.Call(nimbus_core_windows::kInitializeCoreChannel, EncodableList{},
                       nimbus_core_windows::HostApiCodec()),
            EncodableValue(EncodableList{EncodableList{}}));
  EXPECT_EQ(relay.Call("dev.vela.plugins.PermissionsWindows.checkPermissionStatus",
                       EncodableList{"camera"}, vela::StandardMessageCodec::GetInstance()),
            EncodableValue(EncodableList{"granted"}));
  tervala_testing::SetEnvironmentValue("TERVALA_LINK_OPENER_DRY_RUN", "1");
  EXPECT_EQ(
      relay.Call("dev.vela.plugins.LinkOpenerWindows.openUrl", EncodableList{"https://example.com"},
                 vela::StandardMessageCodec::GetInstance()),
      EncodableValue(EncodableList{true}));
  tervala_testing::SetEnvironmentValue("TERVALA_LINK_OPENER_DRY_RUN", std::nullopt);
}

TEST(PluginRegistrantTest, NullRegistrarsArePassedOnWithoutHarm) {
  RecordingRegistry registry(nullptr);
  RegisterAllPlugins(&registry);
  EXPECT_EQ(registry.names.size(), 3u);
}

}  // namespace
