#ifndef TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRY_H_
#define TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRY_H_

// Where plug-ins get their engine registrar handles from.

#include <string>

#include "vela_windows.h"

namespace vela {

// Hands out one engine registrar handle per plug-in name.
class PluginRegistry {
 public:
  PluginRegistry() = default;
  virtual ~PluginRegistry() = default;
  PluginRegistry(const PluginRegistry&) = delete;
  PluginRegistry& operator=(const PluginRegistry&) = delete;

  // The registrar handle for the plug-in named `plugin_name` (UTF-8), or null.
  virtual VelaDesktopPluginRegistrar RegistrarForPlugin(const std::string& plugin_name) = 0;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRY_H_
