#ifndef TERVALA_APP_PROCESS_LOCKS_H_
#define TERVALA_APP_PROCESS_LOCKS_H_

#include "app/mutex.h"

namespace nimbus {

// The recursive locks that guard the app core's process-wide state. Each is created during
// static initialisation (or by its first use, should that come earlier) and lives until
// the process ends.

// The table of apps by name, the default app, the library registry and the user agent.
Mutex& AppRegistryLock();
// The callback module's reference count and dispatcher pointer.
Mutex& CallbackLock();
// The process-wide map from owners to their cleanup notifiers.
Mutex& CleanupOwnerLock();
// The table of app initializers.
Mutex& AppInitializerLock();
// The process-wide table from owner objects to their future APIs.
Mutex& FutureApiTableLock();

}  // namespace nimbus

#endif  // TERVALA_APP_PROCESS_LOCKS_H_
