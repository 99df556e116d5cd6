// The messenger handle that native code holds: reference counted, with the lock that engine
// shutdown respects, forwarding to the engine's channel router while the engine is alive.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_MESSENGER_H_
#define TERVALA_PLATFORM_ENGINE_SRC_MESSENGER_H_

#include <atomic>
#include <mutex>

#include "platform/engine/include/vela_windows.h"

namespace vela_engine {

class ChannelRouter;

// The state behind a VelaDesktopMessenger handle. The engine holds one reference; every
// AddRef another. The last Release frees it, so a handle outlives its engine while native code
// still refers to it.
class Messenger {
 public:
  Messenger() = default;
  Messenger(const Messenger&) = delete;
  Messenger& operator=(const Messenger&) = delete;

  static Messenger* FromHandle(VelaDesktopMessenger handle) {
    return reinterpret_cast<Messenger*>(handle);
  }
  VelaDesktopMessenger handle() { return reinterpret_cast<VelaDesktopMessenger>(this); }

  void AddRef() { references_.fetch_add(1, std::memory_order_relaxed); }
  // Drops one reference; the last one frees the messenger.
  void Release();

  // The lock that engine shutdown takes to detach the router. Recursive, so that a reply
  // function holding it may use every messenger function.
  void Lock() { mutex_.lock(); }
  void Unlock() { mutex_.unlock(); }

  bool IsAvailable();

  // Runs `work` with the router under the lock while the engine is alive; false afterwards.
  template <typename Work>
  bool WithRouter(Work&& work) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (router_ == nullptr) return false;
    work(*router_);
    return true;
  }

  // Connects the messenger to its engine's router: it is available from now on.
  void Attach(ChannelRouter* router);
  // Makes the messenger unavailable; waits for any thread holding the lock. Engine shutdown.
  void Detach();

 private:
  ~Messenger() = default;

  std::atomic<int> references_{1};
  std::recursive_mutex mutex_;
  ChannelRouter* router_ = nullptr;  // Guarded by mutex_; null once the engine has shut down.
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_MESSENGER_H_
