// The native plug-ins of the application, registered with the engine in one place.
#ifndef TERVALA_RUNNER_PLUGIN_REGISTRANT_H_
#define TERVALA_RUNNER_PLUGIN_REGISTRANT_H_

#include "embedding_client/plugin_registry.h"

// Registers every native plug-in of the application with `registry`, each under its own
// registrar name. Failures of a plug-in's registration are not detected.
void RegisterAllPlugins(vela::PluginRegistry* registry);

#endif  // TERVALA_RUNNER_PLUGIN_REGISTRANT_H_
