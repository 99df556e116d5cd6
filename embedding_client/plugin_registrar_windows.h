#ifndef TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_WINDOWS_H_
#define TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_WINDOWS_H_

// The plug-in registrar of a desktop engine, which also offers the engine's view.

#include <memory>

#include "embedding_client/plugin_registrar.h"
#include "embedding_client/vela_view.h"
#include "vela_windows.h"

namespace vela {

// A plug-in registrar with the view of the engine, when it has one. Its plug-ins are
// destroyed while the view, the messenger and the texture registrar still exist.
class PluginRegistrarWindows : public PluginRegistrar {
 public:
  // `registrar` is not owned.
  explicit PluginRegistrarWindows(VelaDesktopPluginRegistrar registrar);
  ~PluginRegistrarWindows() override;

  // The engine's view, or null when the registrar has none.
  VelaView* GetView() { return view_.get(); }

 private:
  std::unique_ptr<VelaView> view_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_PLUGIN_REGISTRAR_WINDOWS_H_
