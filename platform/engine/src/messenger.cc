#include "platform/engine/src/messenger.h"

namespace vela_engine {

void Messenger::Release() {
  if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

bool Messenger::IsAvailable() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return router_ != nullptr;
}

void Messenger::Attach(ChannelRouter* router) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  router_ = router;
}

void Messenger::Detach() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  router_ = nullptr;
}

}  // namespace vela_engine
