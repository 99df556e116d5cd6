#include "app/mutex.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/log.h"

namespace nimbus {

// Both modes share one shape: a count of holds and the thread that holds them. Recursive
// mode lets the holder take it again; non-recursive mode ignores the holder, so a second
// Acquire on one thread waits for ever and any thread may release.
struct Mutex::Handle {
  std::mutex lock;
  std::condition_variable released;
  int holds = 0;
  std::thread::id holder;
};

Mutex::Mutex(Mode mode) : handle_(std::make_unique<Handle>()), mode_(mode) {}

Mutex::~Mutex() = default;

void Mutex::Acquire() {
  if (!handle_) {
    LogAssert("%s", kMutexAcquireFailedMessage);
    return;
  }
  const bool recursive = (mode_ & 1) != 0;
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> guard(handle_->lock);
  if (recursive && handle_->holds > 0 && handle_->holder == self) {
    ++handle_->holds;
    return;
  }
  handle_->released.wait(guard, [this] { return handle_->holds == 0; });
  handle_->holds = 1;
  handle_->holder = self;
}

void Mutex::Release() {
  if (!handle_) return;
  const bool recursive = (mode_ & 1) != 0;
  // Notify while holding the lock, so a thread that takes the mutex next and then destroys
  // it cannot do so while this call still uses it.
  std::lock_guard<std::mutex> guard(handle_->lock);
  if (handle_->holds == 0) return;  // Nothing held: the release fails, as the kernel's does.
  if (recursive && handle_->holder != std::this_thread::get_id()) return;
  if (--handle_->holds > 0) return;
  handle_->holder = std::thread::id();
  handle_->released.notify_one();
}

}  // namespace nimbus
