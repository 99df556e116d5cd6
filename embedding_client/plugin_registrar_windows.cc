#include "embedding_client/plugin_registrar_windows.h"

namespace vela {

PluginRegistrarWindows::PluginRegistrarWindows(VelaDesktopPluginRegistrar registrar)
    : PluginRegistrar(registrar) {
  VelaDesktopView view = VelaDesktopPluginRegistrarGetView(registrar);
  if (view != nullptr) view_ = std::make_unique<VelaView>(view);
}

PluginRegistrarWindows::~PluginRegistrarWindows() {
  // The plug-ins go while the view still exists.
  ClearPlugins();
  view_.reset();
}

}  // namespace vela
