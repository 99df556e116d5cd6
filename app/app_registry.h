#ifndef TERVALA_APP_APP_REGISTRY_H_
#define TERVALA_APP_APP_REGISTRY_H_

// The process-wide registry of apps by name. Each registered app has an entry with its own
// logger and a cleanup list (bound to the app as its owner, see CleanupList::FindByOwner)
// through which objects issued for the app are detached when it goes. Every operation
// takes the app registry lock, which is recursive, so they may nest.

#include <vector>

#include "app/app.h"
#include "app/app_initializer.h"
#include "app/log.h"

namespace nimbus {

// Registers `app` under its name, turns the callback module on (or adds a reference to
// it) and runs the app initializers, whose results replace `init_results`. An app of the
// same name must not be registered already: that is a failed check, and null is returned.
App* AddApp(App* app, AppInitResults* init_results);

// The registered app named exactly `name`, or null.
App* FindAppByName(const char* name);

// The logger of the registered app named `name` (its parent is the system logger), or null.
// It lives as long as the app is registered.
LoggerBase* FindAppLogger(const char* name);

// The registered apps in ascending name order, with the default app last.
std::vector<App*> GetAllApps();

// The default app, or null. Reads without the lock.
App* GetDefaultApp();

// Unregisters `app`: runs its cleanup list and the app initializers' destruction hooks and
// ends its entry. After the last app the callback module is flushed and turned off and the
// library registry ends. An app that is not registered is left alone.
void RemoveApp(App* app);

}  // namespace nimbus

#endif  // TERVALA_APP_APP_REGISTRY_H_
