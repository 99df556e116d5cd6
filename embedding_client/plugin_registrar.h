#ifndef TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_H_
#define TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_H_

// What a plug-in receives from the engine: a registrar that offers a messenger and a
// texture registrar and owns the plug-in objects until the engine ends it.

#include <memory>
#include <set>

#include "embedding_client/binary_messenger.h"
#include "embedding_client/binary_messenger_impl.h"
#include "embedding_client/texture_registrar.h"
#include "embedding_client/texture_registrar_impl.h"
#include "vela_windows.h"

namespace vela {

// The interface of every plug-in object; a registrar owns plug-ins through it.
class Plugin {
 public:
  Plugin() = default;
  virtual ~Plugin() = default;
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
};

// A plug-in registrar over an engine registrar handle. Its plug-ins are destroyed before
// its messenger and texture registrar, so they may still use them while they go.
class PluginRegistrar {
 public:
  // `registrar` is not owned.
  explicit PluginRegistrar(VelaDesktopPluginRegistrar registrar);
  virtual ~PluginRegistrar();
  PluginRegistrar(const PluginRegistrar&) = delete;
  PluginRegistrar& operator=(const PluginRegistrar&) = delete;

  BinaryMessenger* messenger() { return messenger_.get(); }
  TextureRegistrar* texture_registrar() { return texture_registrar_.get(); }

  // Takes ownership of `plugin` until ClearPlugins or the registrar's destruction.
  void AddPlugin(std::unique_ptr<Plugin> plugin);

  // Destroys every owned plug-in.
  void ClearPlugins();

 protected:
  VelaDesktopPluginRegistrar registrar() const { return registrar_; }

 private:
  VelaDesktopPluginRegistrar registrar_;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  std::unique_ptr<TextureRegistrarImpl> texture_registrar_;
  std::set<std::unique_ptr<Plugin>> plugins_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_H_
