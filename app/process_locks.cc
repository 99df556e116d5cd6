#include "app/process_locks.h"

namespace nimbus {

// Function-local statics give each lock a thread-safe first construction whatever the order
// of static initialisation across files; they are deliberately never destroyed, so code
// running during process exit can still lock.
#define TERVALA_PROCESS_LOCK(name)                                      \
  Mutex& name() {                                                       \
    static Mutex* const lock = new Mutex(Mutex::kModeRecursive);        \
    return *lock;                                                       \
  }

TERVALA_PROCESS_LOCK(AppRegistryLock)
TERVALA_PROCESS_LOCK(CallbackLock)
TERVALA_PROCESS_LOCK(CleanupOwnerLock)
TERVALA_PROCESS_LOCK(AppInitializerLock)
TERVALA_PROCESS_LOCK(FutureApiTableLock)

#undef TERVALA_PROCESS_LOCK

namespace {
// Creates every lock during static initialisation, before any app-core code runs.
[[maybe_unused]] const bool kLocksCreated = (AppRegistryLock(), CallbackLock(), CleanupOwnerLock(),
                                             AppInitializerLock(), FutureApiTableLock(), true);
}  // namespace

}  // namespace nimbus
