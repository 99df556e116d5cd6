#ifndef TERVALA_NIMBUS_CORE_PLUGIN_NIMBUS_CORE_PLUGIN_C_API_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_NIMBUS_CORE_PLUGIN_C_API_H_

// The entry point through which the host registers the cloud-app core plug-in with an
// engine.

#include "nimbus_core_plugin/vela_nimbus_plugin.h"
#include "vela_windows.h"

#ifdef __cplusplus
extern "C" {
#endif

// Registers the plug-in with the engine registrar `registrar` (the engine's registrar for
// "NimbusCorePluginCApi"). A null handle registers nothing.
NIMBUS_CORE_PLUGIN_EXPORT void NimbusCorePluginCApiRegisterWithRegistrar(
    VelaDesktopPluginRegistrar registrar);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_NIMBUS_CORE_PLUGIN_C_API_H_
