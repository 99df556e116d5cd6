#ifndef TERVALA_RUNNER_PLUGIN_REGISTRANT_H_
#define TERVALA_RUNNER_PLUGIN_REGISTRANT_H_

// The one list of the application's native plug-ins.

#include "embedding_client/plugin_registry.h"

// Registers every native plug-in with the engine seen as `registry`, each with the
// registrar of its own name. Failures of a plug-in's registration are not detected.
void RegisterAllPlugins(vela::PluginRegistry* registry);

#endif  // TERVALA_RUNNER_PLUGIN_REGISTRANT_H_
