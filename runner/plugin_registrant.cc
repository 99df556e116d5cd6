#include "runner/plugin_registrant.h"

void RegisterAllPlugins(vela::PluginRegistry* registry) {
  // The application has no native plug-ins yet.
  (void)registry;
}
