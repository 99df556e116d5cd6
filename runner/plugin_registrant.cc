#include "runner/plugin_registrant.h"

#include "link_opener_windows_plugin.h"
#include "nimbus_core_plugin/nimbus_core_plugin_c_api.h"
#include "permissions_windows_plugin.h"

void RegisterAllPlugins(vela::PluginRegistry* registry) {
  // A registration function given a null handle registers nothing, so the results need
  // no checking here.
  NimbusCorePluginCApiRegisterWithRegistrar(registry->RegistrarForPlugin("NimbusCorePluginCApi"));
  PermissionsWindowsPluginRegisterWithRegistrar(
      registry->RegistrarForPlugin("PermissionsWindowsPlugin"));
  LinkOpenerWindowsRegisterWithRegistrar(registry->RegistrarForPlugin("LinkOpenerWindows"));
}
