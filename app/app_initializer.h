#ifndef TERVALA_APP_APP_INITIALIZER_H_
#define TERVALA_APP_APP_INITIALIZER_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/future.h"
#include "app/reference_counted_future_impl.h"

// Hooks through which feature modules take part in the life of every app without the app
// registry knowing them, and a helper for modules that initialise in several steps.
namespace nimbus {

class App;

enum InitResult {
  kInitResultSuccess = 0,
  kInitResultFailedMissingDependency = 1,
};

// A module's hooks, registered once and kept for the life of the process. The record is
// the module's own: it is neither copied nor freed here.
struct AppInitializer {
  // The module's name: the key of the table, which runs hooks in byte-wise name order.
  const char* name;
  // Run for each new app; may be null (counts as success).
  InitResult (*create)(App* app);
  // Run for each app going away; may be null.
  void (*destroy)(App* app);
  // The hooks run only while this is set.
  bool enabled;
};

// Each module's creation result for one app, by module name.
using AppInitResults = std::map<std::string, int32_t>;

// Adds `record` to the table; a second record of the same name is ignored with a warning.
// Meant for start-up, before any app exists.
void RegisterAppInitializer(AppInitializer* record);
// Clears `results`, then runs each enabled record's creation hook and stores its result.
void NotifyAppCreated(App* app, AppInitResults* results);
// Runs each enabled record's destruction hook.
void NotifyAppDestroyed(App* app);
// False when no record has that name.
bool IsAppInitializerEnabled(const char* name);
void SetAllAppInitializersEnabled(bool enable);
void SetAppInitializerEnabled(const char* name, bool enable);

// A name unique within the process: the prefix, the pointer in hexadecimal and a counter.
std::string BuildUniqueName(const char* prefix, const void* pointer);

// Runs a module's initialisation steps against an app once, reporting the outcome through a
// future. A step that cannot finish yet leaves the future pending; calling Initialize again
// then returns that same future without running anything.
class ModuleInitializer {
 public:
  // One step: kInitResultSuccess to go on, anything else to stop.
  using InitializerFn = InitResult (*)(App* app, void* context);

  ModuleInitializer();
  virtual ~ModuleInitializer();
  ModuleInitializer(const ModuleInitializer&) = delete;
  ModuleInitializer& operator=(const ModuleInitializer&) = delete;

  // Runs `count` steps in order with `app` and `context`. The future completes with error
  // 0 when every step succeeded.
  Future Initialize(App* app, void* context, const InitializerFn* init_fns, size_t count);
  Future Initialize(App* app, void* context, InitializerFn init_fn);
  // The future of the latest initialisation.
  Future InitializeLastResult();

 private:
  ReferenceCountedFutureImpl future_impl_;
  FutureHandle future_;  // Names the current initialisation's future; holds no reference.
  App* app_ = nullptr;
  void* context_ = nullptr;
  std::vector<InitializerFn> init_fns_;
  size_t init_fn_index_ = 0;
};

}  // namespace nimbus

#endif  // TERVALA_APP_APP_INITIALIZER_H_
