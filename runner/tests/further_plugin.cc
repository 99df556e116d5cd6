// A further cloud plug-in in a library of its own, as a third party would ship one: loaded
// into a running tervala_app, it joins the core plug-in through the entry point that the
// executable exports, and reports each app it is asked to describe.
#include <string>

#include "nimbus_core_plugin/vela_nimbus_plugin.h"
#include "runner/tests/test_probe.h"

namespace {

class FurtherPlugin final : public nimbus_core_windows::VelaNimbusPlugin {
 public:
  vela::EncodableMap PluginConstantsForApp(nimbus::App* app) override {
    runner_test::RecordEvent(std::string("further constants for ") + app->name());
    // Empty: filling a map would need the embedding client's code, which a real plug-in
    // links in but this test's does not.
    return vela::EncodableMap();
  }
  void OnCoreReinitialized() override {}
};

__attribute__((constructor)) void JoinTheCorePlugin() {
  static FurtherPlugin plugin;
  nimbus_core_windows::RegisterVelaNimbusPlugin("further", &plugin);
}

}  // namespace
