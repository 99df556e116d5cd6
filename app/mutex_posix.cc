#include "app/mutex.h"

#include <errno.h>
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/log.h"

namespace nimbus {

// Recursive mode is a robust recursive pthread mutex: like a kernel mutex it is owned by a
// thread, and when that thread ends holding it the next waiter is told so (the mutex is
// abandoned) rather than waiting for ever. Non-recursive mode is a one-count semaphore: no
// owner, so any thread may release it and a second Acquire on one thread waits for ever.
struct Mutex::Handle {
  pthread_mutex_t recursive;
  // The holder of the recursive mutex and how often it holds it, written only by the
  // holder, so that a release by another thread is refused before it reaches the mutex.
  std::atomic<std::thread::id> holder;
  int depth = 0;
  std::mutex lock;
  std::condition_variable released;
  bool held = false;
};

Mutex::Mutex(Mode mode) : handle_(std::make_unique<Handle>()), mode_(mode) {
  if ((mode_ & 1) == 0) return;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  if (pthread_mutex_init(&handle_->recursive, &attributes) != 0) handle_.reset();
  pthread_mutexattr_destroy(&attributes);
}

Mutex::~Mutex() {
  if (handle_ && (mode_ & 1) != 0) pthread_mutex_destroy(&handle_->recursive);
}

void Mutex::Acquire() {
  if (!handle_) {
    LogAssert("%s", kMutexAcquireFailedMessage);
    return;
  }
  if ((mode_ & 1) != 0) {
    const int result = pthread_mutex_lock(&handle_->recursive);
    if (result == 0) {
      handle_->holder = std::this_thread::get_id();
      ++handle_->depth;
      return;
    }
    if (result == EOWNERDEAD) {
      // Abandoned: this thread now holds it once (as a wait on an abandoned kernel mutex
      // gives ownership), made usable again, and the failed wait is reported.
      pthread_mutex_consistent(&handle_->recursive);
      handle_->holder = std::this_thread::get_id();
      handle_->depth = 1;
    }
    LogAssert("%s", kMutexAcquireFailedMessage);
    return;
  }
  std::unique_lock<std::mutex> guard(handle_->lock);
  handle_->released.wait(guard, [this] { return !handle_->held; });
  handle_->held = true;
}

void Mutex::Release() {
  if (!handle_) return;
  if ((mode_ & 1) != 0) {
    // Fails (and is ignored) when this thread does not hold it, as the kernel's does.
    if (handle_->holder != std::this_thread::get_id()) return;
    if (--handle_->depth == 0) handle_->holder = std::thread::id();
    pthread_mutex_unlock(&handle_->recursive);
    return;
  }
  // Notify while holding the lock, so a thread that takes the mutex next and then destroys
  // it cannot do so while this call still uses it.
  std::lock_guard<std::mutex> guard(handle_->lock);
  if (!handle_->held) return;  // Nothing held: the release fails, as the kernel's does.
  handle_->held = false;
  handle_->released.notify_one();
}

}  // namespace nimbus
