#include "platform/engine/src/registrars.h"

namespace vela_engine {

void PluginRegistrar::NotifyDestroyed() {
  VelaDesktopOnPluginRegistrarDestroyed handler = destruction_handler_;
  destruction_handler_ = nullptr;
  if (handler != nullptr) handler(handle());
}

PluginRegistrar* RegistrarTable::Get(const std::string& name) {
  std::unique_ptr<PluginRegistrar>& slot = by_name_[name];
  if (!slot) {
    slot = std::make_unique<PluginRegistrar>(engine_, name);
    in_creation_order_.push_back(slot.get());
  }
  return slot.get();
}

void RegistrarTable::NotifyAllDestroyed() {
  // By index: a handler may ask for another registrar, which is appended and notified too.
  for (size_t i = 0; i < in_creation_order_.size(); ++i) {
    in_creation_order_[i]->NotifyDestroyed();
  }
}

}  // namespace vela_engine
