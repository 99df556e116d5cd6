#ifndef TERVALA_APP_MUTEX_H_
#define TERVALA_APP_MUTEX_H_

#include <memory>

namespace nimbus {

// A lock that is either recursive (the owning thread may take it again) or not. A
// non-recursive Mutex is a one-count semaphore: taking it twice on one thread blocks for
// ever, and any thread may release it.
class Mutex {
 public:
  enum Mode {
    kModeNonRecursive = 0,
    kModeRecursive = 1,
  };

  explicit Mutex(Mode mode = kModeRecursive);
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  // Blocks until the lock is taken. A failed wait is reported as an assertion and the call
  // then returns without ownership.
  void Acquire();
  void Release();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  int mode_;
};

// Holds a Mutex for the life of a scope.
class MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) : mutex_(mutex) { mutex_.Acquire(); }
  ~MutexLock() { mutex_.Release(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

// The message reported when a Mutex cannot be acquired: the condition text of the check.
inline constexpr char kMutexAcquireFailedMessage[] = "ret == ((((DWORD )0x00000000L) ) + 0 )";

}  // namespace nimbus

#endif  // TERVALA_APP_MUTEX_H_
