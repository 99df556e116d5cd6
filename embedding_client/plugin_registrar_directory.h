#ifndef TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_DIRECTORY_H_
#define TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_DIRECTORY_H_

// The process-wide table that turns engine registrar handles into registrar objects and
// drops each object when the engine destroys its registrar.

#include <map>
#include <memory>

#include "embedding_client/plugin_registrar.h"
#include "embedding_client/plugin_registrar_windows.h"
#include "vela_windows.h"

namespace vela {

// One registrar object per engine registrar handle, kept until the engine reports the
// registrar's destruction. Used on the UI thread.
class PluginRegistrarDirectory {
 public:
  // The directory, created on first use (safely, even from two threads at once); it
  // lives until the process ends.
  static PluginRegistrarDirectory& GetInstance();

  PluginRegistrarDirectory(const PluginRegistrarDirectory&) = delete;
  PluginRegistrarDirectory& operator=(const PluginRegistrarDirectory&) = delete;

  // The registrar object for `registrar`, created on the first request for the handle;
  // later requests return the same object. Null, with a message on standard error, for a
  // null handle.
  PluginRegistrarWindows* GetRegistrar(VelaDesktopPluginRegistrar registrar);

  // The destruction handler given to the engine library: destroys the object of
  // `registrar`, and with it its plug-ins. An unknown handle changes nothing.
  static void HandleRegistrarDestroyed(VelaDesktopPluginRegistrar registrar);

 private:
  PluginRegistrarDirectory() = default;
  ~PluginRegistrarDirectory() = default;

  std::map<VelaDesktopPluginRegistrar, std::unique_ptr<PluginRegistrar>> registrars_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_DIRECTORY_H_
