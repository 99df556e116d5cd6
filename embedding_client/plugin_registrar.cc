#include "embedding_client/plugin_registrar.h"

#include <utility>

namespace vela {

PluginRegistrar::PluginRegistrar(VelaDesktopPluginRegistrar registrar)
    : registrar_(registrar),
      messenger_(
          std::make_unique<BinaryMessengerImpl>(VelaDesktopPluginRegistrarGetMessenger(registrar))),
      texture_registrar_(std::make_unique<TextureRegistrarImpl>(
          VelaDesktopRegistrarGetTextureRegistrar(registrar))) {}

PluginRegistrar::~PluginRegistrar() {
  // Plug-ins first: they may use the messenger and the texture registrar as they go.
  ClearPlugins();
  messenger_.reset();
  texture_registrar_.reset();
}

void PluginRegistrar::AddPlugin(std::unique_ptr<Plugin> plugin) {
  if (plugin) plugins_.insert(std::move(plugin));
}

void PluginRegistrar::ClearPlugins() {
  // Moved out first, so that a plug-in's destructor finds the registrar consistent.
  std::set<std::unique_ptr<Plugin>> plugins = std::move(plugins_);
  plugins_.clear();
  plugins.clear();
}

}  // namespace vela
