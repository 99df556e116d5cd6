#ifndef TERVALA_RUNNER_PLUGIN_REGISTRANT_H_
#define TERVALA_RUNNER_PLUGIN_REGISTRANT_H_

// The one list of the application's native plug-ins.

#include "embedding_client/plugin_registry.h"

// Registers every native plug-in with the engine seen as `registry`, in a fixed order,
// each with the registrar of its own name: the cloud-app core plug-in
// ("NimbusCorePluginCApi"), then the permissions plug-in ("PermissionsWindowsPlugin"),
// then the link opener ("LinkOpenerWindows"). Once it has run, the engine-side application
// can reach every plug-in's channels.
void RegisterAllPlugins(vela::PluginRegistry* registry);

// The same, under the name the host window uses.
inline void RegisterPlugins(vela::PluginRegistry* registry) { RegisterAllPlugins(registry); }

#endif  // TERVALA_RUNNER_PLUGIN_REGISTRANT_H_
