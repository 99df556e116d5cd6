#ifndef TERVALA_RUNNER_PLUGIN_REGISTRANT_H_
#define TERVALA_RUNNER_PLUGIN_REGISTRANT_H_

// The list of an application's native plug-ins. Its definition is made by tervala_add_app
// (cmake/TervalaApp.cmake) for each program from the app's plug-in list.

#include "embedding_client/plugin_registry.h"

// Registers every native plug-in with the engine seen as `registry`, in the app's order,
// each with the registrar of its own name: first the cloud-app core plug-in
// ("NimbusCorePluginCApi"), then the app's plug-ins (for tervala_app the permissions plug-in,
// "PermissionsWindowsPlugin", then the link opener, "LinkOpenerWindows"). Once it has run,
// the engine-side application can reach every plug-in's channels.
void RegisterAllPlugins(vela::PluginRegistry* registry);

// The same, under the name the host window uses.
inline void RegisterPlugins(vela::PluginRegistry* registry) { RegisterAllPlugins(registry); }

#endif  // TERVALA_RUNNER_PLUGIN_REGISTRANT_H_
