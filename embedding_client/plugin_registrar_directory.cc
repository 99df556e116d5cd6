#include "embedding_client/plugin_registrar_directory.h"

#include <utility>

#include "embedding_client/error_line.h"

namespace vela {

PluginRegistrarDirectory& PluginRegistrarDirectory::GetInstance() {
  // Never destroyed: registrars may be reported destroyed during process exit.
  static PluginRegistrarDirectory* const directory = new PluginRegistrarDirectory();
  return *directory;
}

PluginRegistrarWindows* PluginRegistrarDirectory::GetRegistrar(
    VelaDesktopPluginRegistrar registrar) {
  if (registrar == nullptr) {
    internal::WriteErrorLine("Cannot get a plugin registrar for a null registrar handle.");
    return nullptr;
  }
  std::unique_ptr<PluginRegistrar>& entry = registrars_[registrar];
  if (!entry) entry = std::make_unique<PluginRegistrarWindows>(registrar);
  VelaDesktopPluginRegistrarSetDestructionHandler(registrar, HandleRegistrarDestroyed);
  // Every object in the table was created here as a PluginRegistrarWindows.
  return static_cast<PluginRegistrarWindows*>(entry.get());
}

void PluginRegistrarDirectory::HandleRegistrarDestroyed(VelaDesktopPluginRegistrar registrar) {
  PluginRegistrarDirectory& directory = GetInstance();
  auto found = directory.registrars_.find(registrar);
  if (found == directory.registrars_.end()) return;
  // Out of the table before it is destroyed, so that its plug-ins see a consistent table.
  std::unique_ptr<PluginRegistrar> doomed = std::move(found->second);
  directory.registrars_.erase(found);
}

}  // namespace vela
