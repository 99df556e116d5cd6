#ifndef TERVALA_PLUGINS_PERMISSIONS_WINDOWS_PLUGIN_H_
#define TERVALA_PLUGINS_PERMISSIONS_WINDOWS_PLUGIN_H_

// The permissions plug-in library: tells the engine-side application the status of a
// permission on the channel "dev.vela.plugins.PermissionsWindows.checkPermissionStatus".
// A request is [permission name]; the answer is [status] ("granted", "denied", ...), or
// [code, message, details] for an unknown permission or a malformed request.

#include "vela_windows.h"

// Exported by the library itself, imported by its users; on ELF systems default visibility.
#if defined(_WIN32)
#if defined(PERMISSIONS_WINDOWS_PLUGIN_IMPLEMENTATION)
#define PERMISSIONS_WINDOWS_PLUGIN_EXPORT __declspec(dllexport)
#else
#define PERMISSIONS_WINDOWS_PLUGIN_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define PERMISSIONS_WINDOWS_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define PERMISSIONS_WINDOWS_PLUGIN_EXPORT
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

#endif  // TERVALA_PLUGINS_PERMISSIONS_WINDOWS_PLUGIN_H_
