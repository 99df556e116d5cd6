#ifndef TERVALA_NIMBUS_CORE_PLUGIN_VELA_NIMBUS_PLUGIN_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_VELA_NIMBUS_PLUGIN_H_

// Further cloud plug-ins that join the core plug-in: each publishes constants for every
// app the core describes and hears when the core is initialised again.

#include <map>
#include <string>

#include "app/app.h"
#include "embedding_client/encodable_value.h"

// Exported by the program that links the core plug-in in, imported by further plug-in
// libraries that join its directory; on ELF systems default visibility.
#if defined(_WIN32)
#if defined(NIMBUS_CORE_PLUGIN_IMPLEMENTATION)
#define NIMBUS_CORE_PLUGIN_EXPORT __declspec(dllexport)
#else
#define NIMBUS_CORE_PLUGIN_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define NIMBUS_CORE_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define NIMBUS_CORE_PLUGIN_EXPORT
#endif

namespace nimbus_core_windows {

// The interface a further cloud plug-in implements. Called on the UI thread.
class VelaNimbusPlugin {
 public:
  virtual ~VelaNimbusPlugin() = default;
  // The constants the plug-in publishes for `app`; they appear in the app's description
  // under the plug-in's name.
  virtual vela::EncodableMap PluginConstantsForApp(nimbus::App* app) = 0;
  // Called when the engine-side application initialises the core again.
  virtual void OnCoreReinitialized() = 0;
};

// The process-wide table of further cloud plug-ins by name. It does not own them; a
// plug-in that goes away takes its name out first. Used on the UI thread.
class NimbusPluginDirectory {
 public:
  // The directory, created on first use; it lives until the process ends.
  static NimbusPluginDirectory& GetInstance();

  NimbusPluginDirectory(const NimbusPluginDirectory&) = delete;
  NimbusPluginDirectory& operator=(const NimbusPluginDirectory&) = delete;

  // Stores `plugin` under `name`, replacing the plug-in stored there; a null `plugin`
  // takes the name out.
  void Register(const std::string& name, VelaNimbusPlugin* plugin);

  // Every plug-in by name, in name order.
  const std::map<std::string, VelaNimbusPlugin*>& plugins() const { return plugins_; }

 private:
  NimbusPluginDirectory() = default;
  ~NimbusPluginDirectory() = default;

  std::map<std::string, VelaNimbusPlugin*> plugins_;
};

// Lets a further cloud plug-in join the core plug-in under `name` (see
// NimbusPluginDirectory::Register).
NIMBUS_CORE_PLUGIN_EXPORT void RegisterVelaNimbusPlugin(const std::string& name,
                                                        VelaNimbusPlugin* plugin);

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_VELA_NIMBUS_PLUGIN_H_
