// A counting semaphore over a kernel semaphore.
#include <windows.h>

#include "app/semaphore.h"

namespace nimbus {

namespace {
constexpr LONG kMaximumCount = 2147483647;
}  // namespace

struct Semaphore::Handle {
  HANDLE object = nullptr;
};

Semaphore::Semaphore(int initial_count) : handle_(std::make_unique<Handle>()) {
  handle_->object =
      CreateSemaphoreA(nullptr, initial_count < 0 ? 0 : initial_count, kMaximumCount, nullptr);
}

Semaphore::~Semaphore() {
  if (handle_->object != nullptr) CloseHandle(handle_->object);
}

void Semaphore::Post() { ReleaseSemaphore(handle_->object, 1, nullptr); }

void Semaphore::Wait() { WaitForSingleObject(handle_->object, INFINITE); }

bool Semaphore::TryWait() { return WaitForSingleObject(handle_->object, 0) == WAIT_OBJECT_0; }

bool Semaphore::TimedWait(int milliseconds) {
  const DWORD wait = milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds);
  return WaitForSingleObject(handle_->object, wait) == WAIT_OBJECT_0;
}

}  // namespace nimbus
