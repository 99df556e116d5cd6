// The app core's lock over one kernel object: a kernel mutex when recursive (the owner may
// take it again), a semaphore of one count otherwise (any thread may release it).
#include <windows.h>

#include "app/log.h"
#include "app/mutex.h"

namespace nimbus {

struct Mutex::Handle {
  HANDLE object = nullptr;
};

Mutex::Mutex(Mode mode) : handle_(std::make_unique<Handle>()), mode_(mode) {
  handle_->object = (mode_ & 1) != 0 ? CreateMutexA(nullptr, FALSE, nullptr)
                                     : CreateSemaphoreA(nullptr, 1, 1, nullptr);
}

Mutex::~Mutex() {
  if (handle_->object != nullptr) CloseHandle(handle_->object);
}

void Mutex::Acquire() {
  // An abandoned mutex (its owner ended while holding it) or a handle that could not be
  // created is reported, and the call returns without waiting for ever.
  const DWORD ret = WaitForSingleObject(handle_->object, INFINITE);
  if (ret != WAIT_OBJECT_0) LogAssert("%s", kMutexAcquireFailedMessage);
}

void Mutex::Release() {
  if ((mode_ & 1) != 0) {
    ReleaseMutex(handle_->object);
  } else {
    ReleaseSemaphore(handle_->object, 1, nullptr);
  }
}

}  // namespace nimbus
