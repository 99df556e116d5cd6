#ifndef TERVALA_PLATFORM_PLUGINS_PERMISSIONS_WINDOWS_PLUGIN_H_
#define TERVALA_PLATFORM_PLUGINS_PERMISSIONS_WINDOWS_PLUGIN_H_

// The permissions plug-in library: tells the engine-side application the status of a
// permission on the channel "dev.vela.plugins.PermissionsWindows.checkPermissionStatus".
// A request is [permission name]; the answer is [status] ("granted", "denied", ...), or
// [code, message, details] for an unknown permission or a malformed request.

#include "vela_windows.h"

#if defined(_WIN32)
#define PERMISSIONS_WINDOWS_PLUGIN_EXPORT __declspec(dllexport)
#else
#define PERMISSIONS_WINDOWS_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Registers the plug-in with the engine registrar `registrar`; a null handle registers
// nothing.
PERMISSIONS_WINDOWS_PLUGIN_EXPORT void PermissionsWindowsPluginRegisterWithRegistrar(
    VelaDesktopPluginRegistrar registrar);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // TERVALA_PLATFORM_PLUGINS_PERMISSIONS_WINDOWS_PLUGIN_H_
