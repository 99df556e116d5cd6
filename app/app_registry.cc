#include "app/app_registry.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "app/assert.h"
#include "app/callback.h"
#include "app/cleanup_list.h"
#include "app/library_registry.h"
#include "app/process_locks.h"

namespace nimbus {
namespace {

// What the registry keeps for one app.
struct AppEntry {
  explicit AppEntry(App* registered_app)
      : app(registered_app), logger(&GetSystemLogger(), kLogLevelVerbose) {
    cleanup.RegisterOwner(app);
  }

  App* app;  // not owned
  CleanupList cleanup;
  // Declared last, so it goes before the cleanup list.
  Logger logger;
};

using AppTable = std::map<std::string, std::unique_ptr<AppEntry>>;

// The table exists from the first registration to the removal of the last app. Guarded by
// the app registry lock.
std::unique_ptr<AppTable>& Table() {
  static auto* table = new std::unique_ptr<AppTable>();
  return *table;
}

// Written under the app registry lock; GetDefaultApp reads it without.
std::atomic<App*> g_default_app{nullptr};

// The low 32 bits of an address, as messages show it.
unsigned AddressBits(const void* pointer) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer) & 0xffffffffu);
}

// The entry of `name`, or null. Call with the app registry lock held.
AppEntry* FindEntry(const char* name) {
  const auto& table = Table();
  if (!table || name == nullptr) return nullptr;
  auto it = table->find(name);
  return it != table->end() ? it->second.get() : nullptr;
}

}  // namespace

App* AddApp(App* app, AppInitResults* init_results) {
  NIMBUS_ASSERT_RETURN(app != nullptr, nullptr);
  NIMBUS_ASSERT_RETURN(init_results != nullptr, nullptr);
  MutexLock lock(AppRegistryLock());
  App* existing_app = FindAppByName(app->name());
  NIMBUS_ASSERT_RETURN(!existing_app, nullptr);

  if (std::strcmp(app->name(), kDefaultAppName) == 0) g_default_app.store(app);
  auto& table = Table();
  if (!table) table = std::make_unique<AppTable>();
  (*table)[app->name()] = std::make_unique<AppEntry>(app);

  const AppOptions& options = app->options();
  LogDebug(
      "Added app name=%s: options, api_key=%s, app_id=%s, database_url=%s, "
      "messaging_sender_id=%s, storage_bucket=%s, project_id=%s (0x%08x)",
      app->name(), options.api_key.c_str(), options.app_id.c_str(), options.database_url.c_str(),
      options.messaging_sender_id.c_str(), options.storage_bucket.c_str(),
      options.project_id.c_str(), AddressBits(app));
  callback::Initialize();
  NotifyAppCreated(app, init_results);
  return app;
}

App* FindAppByName(const char* name) {
  NIMBUS_ASSERT_RETURN(name != nullptr, nullptr);
  MutexLock lock(AppRegistryLock());
  AppEntry* entry = FindEntry(name);
  return entry ? entry->app : nullptr;
}

LoggerBase* FindAppLogger(const char* name) {
  NIMBUS_ASSERT_RETURN(name != nullptr, nullptr);
  MutexLock lock(AppRegistryLock());
  AppEntry* entry = FindEntry(name);
  return entry ? &entry->logger : nullptr;
}

std::vector<App*> GetAllApps() {
  MutexLock lock(AppRegistryLock());
  std::vector<App*> apps;
  const auto& table = Table();
  if (!table) return apps;
  apps.reserve(table->size());
  App* default_app = nullptr;
  for (const auto& [name, entry] : *table) {
    if (entry->app == g_default_app.load()) {
      default_app = entry->app;
    } else {
      apps.push_back(entry->app);
    }
  }
  if (default_app != nullptr) apps.push_back(default_app);
  return apps;
}

App* GetDefaultApp() { return g_default_app.load(); }

void RemoveApp(App* app) {
  NIMBUS_ASSERT_RETURN_VOID(app != nullptr);
  MutexLock lock(AppRegistryLock());
  auto& table = Table();
  if (!table) return;
  auto it = table->find(app->name());
  // An app that never made it into the registry (another app took its name first) holds
  // no entry and no reference on the callback module: there is nothing to undo.
  if (it == table->end() || it->second->app != app) return;

  LogDebug("Deleting app %s (0x%08x)", app->name(), AddressBits(app));
  it->second->cleanup.CleanupAll();
  NotifyAppDestroyed(app);
  table->erase(it);
  if (g_default_app.load() == app) g_default_app.store(nullptr);

  if (!table->empty()) {
    callback::Terminate(false);
    return;
  }
  table.reset();
  callback::Terminate(true);
  // The next app starts from an empty user agent.
  DestroyLibraryRegistry();
}

}  // namespace nimbus
