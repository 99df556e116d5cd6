#include "app/semaphore.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace nimbus {

namespace {
constexpr long kMaximumCount = 2147483647;
}  // namespace

struct Semaphore::Handle {
  std::mutex lock;
  std::condition_variable posted;
  long count = 0;
};

Semaphore::Semaphore(int initial_count) : handle_(std::make_unique<Handle>()) {
  handle_->count = initial_count < 0 ? 0 : initial_count;
}

Semaphore::~Semaphore() = default;

void Semaphore::Post() {
  // Notify while holding the lock: a waiter that wakes, returns and destroys the semaphore
  // cannot do so before this call is done with it.
  std::lock_guard<std::mutex> guard(handle_->lock);
  if (handle_->count >= kMaximumCount) return;
  ++handle_->count;
  handle_->posted.notify_one();
}

void Semaphore::Wait() {
  std::unique_lock<std::mutex> guard(handle_->lock);
  handle_->posted.wait(guard, [this] { return handle_->count > 0; });
  --handle_->count;
}

bool Semaphore::TryWait() {
  std::lock_guard<std::mutex> guard(handle_->lock);
  if (handle_->count == 0) return false;
  --handle_->count;
  return true;
}

bool Semaphore::TimedWait(int milliseconds) {
  // wait_until on steady_clock waits on the monotonic clock, so changes of the wall clock
  // neither shorten nor stretch the wait.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
  std::unique_lock<std::mutex> guard(handle_->lock);
  if (!handle_->posted.wait_until(guard, deadline, [this] { return handle_->count > 0; })) {
    return false;
  }
  --handle_->count;
  return true;
}

}  // namespace nimbus
