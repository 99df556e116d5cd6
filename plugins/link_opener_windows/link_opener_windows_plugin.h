#ifndef TERVALA_PLUGINS_LINK_OPENER_WINDOWS_PLUGIN_H_
#define TERVALA_PLUGINS_LINK_OPENER_WINDOWS_PLUGIN_H_

// The link opener plug-in library: opens a URL with the desktop's opener on the channel
// "dev.vela.plugins.LinkOpenerWindows.openUrl". A request is [url]; the answer is [true]
// once the opener has handled it, or [code, message, details] ("invalid-url",
// "launch-failed", or a malformed request).
//
// The environment variable TERVALA_LINK_OPENER names the opener program (default
// "xdg-open"); TERVALA_LINK_OPENER_DRY_RUN=1 checks the URL and answers without opening
// anything, for tests.

#include "vela_windows.h"

// Exported by the library itself, imported by its users; on ELF systems default visibility.
#if defined(_WIN32)
#if defined(LINK_OPENER_WINDOWS_PLUGIN_IMPLEMENTATION)
#define LINK_OPENER_WINDOWS_PLUGIN_EXPORT __declspec(dllexport)
#else
#define LINK_OPENER_WINDOWS_PLUGIN_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define LINK_OPENER_WINDOWS_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define LINK_OPENER_WINDOWS_PLUGIN_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Registers the plug-in with the engine registrar `registrar`; a null handle registers
// nothing.
LINK_OPENER_WINDOWS_PLUGIN_EXPORT void LinkOpenerWindowsRegisterWithRegistrar(
    VelaDesktopPluginRegistrar registrar);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // TERVALA_PLUGINS_LINK_OPENER_WINDOWS_PLUGIN_H_
