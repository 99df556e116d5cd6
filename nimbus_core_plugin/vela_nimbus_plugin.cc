#include "nimbus_core_plugin/vela_nimbus_plugin.h"

namespace nimbus_core_windows {

NimbusPluginDirectory& NimbusPluginDirectory::GetInstance() {
  // Never destroyed: plug-ins may still look it up while the process ends.
  static NimbusPluginDirectory* const directory = new NimbusPluginDirectory();
  return *directory;
}

void NimbusPluginDirectory::Register(const std::string& name, VelaNimbusPlugin* plugin) {
  // Keeping a null pointer would only crash the next description of an app.
  if (plugin == nullptr) {
    plugins_.erase(name);
    return;
  }
  plugins_[name] = plugin;
}

void RegisterVelaNimbusPlugin(const std::string& name, VelaNimbusPlugin* plugin) {
  NimbusPluginDirectory::GetInstance().Register(name, plugin);
}

}  // namespace nimbus_core_windows
