#ifndef TERVALA_EMBEDDING_CLIENT_PLUGIN_EXPORT_H_
#define TERVALA_EMBEDDING_CLIENT_PLUGIN_EXPORT_H_

// Marks a plug-in library's registration function, the one function the library exports:
//
//   TERVALA_PLUGIN_EXPORT void MyPluginRegisterWithRegistrar(
//       VelaDesktopPluginRegistrar registrar) { ... }
//
// It gives the function C linkage, so the host finds it by its plain name.

#if defined(_WIN32)
#define TERVALA_PLUGIN_EXPORT_ATTRIBUTE __declspec(dllexport)
#elif defined(__GNUC__)
#define TERVALA_PLUGIN_EXPORT_ATTRIBUTE __attribute__((visibility("default")))
#else
#define TERVALA_PLUGIN_EXPORT_ATTRIBUTE
#endif

#ifdef __cplusplus
#define TERVALA_PLUGIN_EXPORT extern "C" TERVALA_PLUGIN_EXPORT_ATTRIBUTE
#else
#define TERVALA_PLUGIN_EXPORT TERVALA_PLUGIN_EXPORT_ATTRIBUTE
#endif

#endif  // TERVALA_EMBEDDING_CLIENT_PLUGIN_EXPORT_H_
