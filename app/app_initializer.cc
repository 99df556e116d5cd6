#include "app/app_initializer.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "app/assert.h"
#include "app/log.h"
#include "app/process_locks.h"

namespace nimbus {

namespace {

// Orders module names byte by byte.
struct NameLess {
  bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
};

using InitializerTable = std::map<const char*, AppInitializer*, NameLess>;

// Guarded by the app initializer lock. Created by the first registration, which may come
// during static initialisation: a zero-initialised pointer is ready before any constructor
// runs.
InitializerTable* g_initializers = nullptr;

std::atomic<int> g_unique_name_counter{0};

}  // namespace

void RegisterAppInitializer(AppInitializer* record) {
  NIMBUS_ASSERT_RETURN_VOID(record != nullptr && record->name != nullptr);
  // The lock costs nothing at start-up and keeps a late registration from racing with the
  // notifications.
  MutexLock lock(AppInitializerLock());
  if (g_initializers == nullptr) g_initializers = new InitializerTable();
  if (g_initializers->count(record->name) != 0) {
    LogWarning("%s is already registered for callbacks on app initialization,  ignoring.",
               record->name);
    return;
  }
  LogDebug("Registered app initializer %s (enabled: %d)", record->name, record->enabled ? 1 : 0);
  (*g_initializers)[record->name] = record;
}

void NotifyAppCreated(App* app, AppInitResults* results) {
  NIMBUS_ASSERT_RETURN_VOID(results != nullptr);
  MutexLock lock(AppInitializerLock());
  results->clear();
  if (g_initializers == nullptr) return;
  for (const auto& [name, record] : *g_initializers) {
    if (!record->enabled) continue;
    const InitResult result = record->create != nullptr ? record->create(app) : kInitResultSuccess;
    (*results)[name] = result;
  }
}

void NotifyAppDestroyed(App* app) {
  MutexLock lock(AppInitializerLock());
  if (g_initializers == nullptr) return;
  for (const auto& [name, record] : *g_initializers) {
    if (record->enabled && record->destroy != nullptr) record->destroy(app);
  }
}

bool IsAppInitializerEnabled(const char* name) {
  if (name == nullptr) return false;
  MutexLock lock(AppInitializerLock());
  if (g_initializers == nullptr) return false;
  const auto found = g_initializers->find(name);
  return found != g_initializers->end() && found->second->enabled;
}

void SetAllAppInitializersEnabled(bool enable) {
  MutexLock lock(AppInitializerLock());
  if (g_initializers == nullptr) return;
  LogDebug("%s all app initializers", enable ? "Enabling" : "Disabling");
  for (const auto& [name, record] : *g_initializers) {
    LogDebug("%s %s", enable ? "Enable" : "Disable", name);
    record->enabled = enable;
  }
}

void SetAppInitializerEnabled(const char* name, bool enable) {
  NIMBUS_ASSERT_RETURN_VOID(name != nullptr);
  MutexLock lock(AppInitializerLock());
  if (g_initializers == nullptr) return;
  const auto found = g_initializers->find(name);
  if (found == g_initializers->end()) {
    LogDebug("App initializer %s not found, failed to enable.", name);
    return;
  }
  LogDebug("%s app initializer %s", enable ? "Enabling" : "Disabling", name);
  found->second->enabled = enable;
}

std::string BuildUniqueName(const char* prefix, const void* pointer) {
  const int counter = g_unique_name_counter.fetch_add(1);
  const char* const text = prefix != nullptr ? prefix : "";
  const auto address = static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer));
  const int length = std::snprintf(nullptr, 0, "%s0x%016llx_%d", text, address, counter);
  std::string name(static_cast<size_t>(length), '\0');
  std::snprintf(name.data(), name.size() + 1, "%s0x%016llx_%d", text, address, counter);
  return name;
}

ModuleInitializer::ModuleInitializer() : future_impl_(1) {}

ModuleInitializer::~ModuleInitializer() = default;

Future ModuleInitializer::Initialize(App* app, void* context, const InitializerFn* init_fns,
                                     size_t count) {
  NIMBUS_ASSERT_RETURN(app != nullptr, Future());
  NIMBUS_ASSERT_RETURN(init_fns != nullptr, Future());
  // An earlier run's future is kept by the last-result slot for this object's whole life,
  // so the steps run at most once.
  if (future_impl_.GetFutureStatus(future_) == kFutureStatusInvalid) {
    future_ = FutureHandle(future_impl_.AllocFuture(0).id());
    app_ = app;
    context_ = context;
    init_fns_.assign(init_fns, init_fns + count);
    init_fn_index_ = 0;
    while (init_fn_index_ < init_fns_.size()) {
      const InitResult init_result = init_fns_[init_fn_index_](app_, context_);
      if (init_result == kInitResultSuccess) {
        ++init_fn_index_;
        continue;
      }
      if (init_result == kInitResultFailedMissingDependency) {
        LogAssert("%s", "init_result != kInitResultFailedMissingDependency");
      }
      break;
    }
    if (init_fn_index_ == init_fns_.size()) future_impl_.CompleteFuture(future_, 0, "");
  }
  return Future(&future_impl_, future_);
}

Future ModuleInitializer::Initialize(App* app, void* context, InitializerFn init_fn) {
  NIMBUS_ASSERT_RETURN(app != nullptr, Future());
  NIMBUS_ASSERT_RETURN(init_fn != nullptr, Future());
  return Initialize(app, context, &init_fn, 1);
}

Future ModuleInitializer::InitializeLastResult() { return Future(&future_impl_, future_); }

}  // namespace nimbus
