#include "app/app.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/app_registry.h"
#include "app/assert.h"
#include "app/heartbeat/date_provider.h"
#include "app/heartbeat/heartbeat_controller.h"
#include "app/library_registry.h"
#include "app/log.h"
#include "app/mutex.h"
#include "app/process_id.h"
#include "app/process_locks.h"
#include "app/semaphore.h"

namespace nimbus {

namespace {

// How long process exit, or deleting an app, waits for the heartbeat work already handed
// to an app's worker.
constexpr int kExitHeartbeatWaitMs = 2000;

// The process that installed the exit hook. A child forked from it inherits the hook but
// not the heartbeat workers, and may hold locks that no thread of the child will release.
std::atomic<uint64_t> g_exit_hook_process{0};

// Apps live until the process ends, and their heartbeat workers are not joined at exit: a
// program that ends right after creating an app (the usual short-lived run) would cut the
// day's heartbeat write short. Waiting here, before the process goes, lets it land. The
// workers run side by side, so one deadline serves them all. In a forked child that calls
// exit() (after a failed exec, say) it does nothing.
void FinishHeartbeatsAtExit() {
  if (CurrentProcessId() != g_exit_hook_process.load()) return;
  // The controllers are taken under the registry's lock, since another thread may be
  // deleting apps; each shared copy stays usable after its app is gone.
  std::vector<std::shared_ptr<heartbeat::HeartbeatController>> controllers;
  {
    MutexLock lock(AppRegistryLock());
    for (App* app : GetAllApps()) {
      if (auto controller = app->GetHeartbeatController()) {
        controllers.push_back(std::move(controller));
      }
    }
  }
  heartbeat::WaitUntilAllIdle(controllers, kExitHeartbeatWaitMs);
}

}  // namespace

// The app's services. The date provider is lent to the heartbeat controller, which is
// shut down before the provider goes.
struct App::Internal {
  std::string heartbeat_key;
  heartbeat::DateProviderImpl date_provider;
  // Guards the controller pointer, which creation sets while other threads may already
  // find the app in the registry.
  Mutex controller_lock{Mutex::kModeNonRecursive};
  std::shared_ptr<heartbeat::HeartbeatController> heartbeat_controller;
};

App::App(const char* name, const AppOptions& options)
    : name_(name), options_(options), internal_(std::make_unique<Internal>()) {
  internal_->heartbeat_key = options_.package_name + "." + name_;
}

App::~App() {
  std::shared_ptr<heartbeat::HeartbeatController> controller;
  {
    MutexLock lock(internal_->controller_lock);
    controller = std::move(internal_->heartbeat_controller);
  }
  // The day's heartbeat may still be queued (an app deleted right after its creation):
  // it is given its time to land, as at process exit. Then the controller stops, since its
  // worker uses the app's logger, which RemoveApp ends, and its date provider; a task still
  // in a disk that does not answer is left to end without them. Holders of a shared copy
  // keep a controller that does nothing more.
  if (controller) controller->ShutdownWithin(kExitHeartbeatWaitMs);
  RemoveApp(this);
  controller.reset();
  internal_.reset();
}

App* App::Create(const AppOptions& options, const char* name) {
  NIMBUS_ASSERT_RETURN(name != nullptr, nullptr);
  if (App* existing = FindAppByName(name)) {
    LogError("App %s already created, options will not be applied.", name);
    return existing;
  }
  LogDebug("Creating Nimbus App %s for %s", name,
           (std::string("Nimbus C++ ") + kSdkVersion).c_str());
  LogDebug("Validating semaphore creation.");
  { Semaphore probe(0); }

  AppOptions validated = options;
  if (!FillMissingRequired(validated)) return nullptr;

  std::unique_ptr<App> app;
  {
    // One lock scope from the name check to the insertion, so two threads creating the
    // same name get one app between them.
    MutexLock lock(AppRegistryLock());
    if (App* existing = FindAppByName(name)) {
      LogError("App %s already created, options will not be applied.", name);
      return existing;
    }
    RegisterCoreLibraries();
    static const bool exit_hook_installed = [] {
      g_exit_hook_process = CurrentProcessId();
      return std::atexit(FinishHeartbeatsAtExit) == 0;
    }();
    (void)exit_hook_installed;
    app.reset(new App(name, validated));
    if (AddApp(app.get(), &app->init_results_) == nullptr) return nullptr;
  }

  app->SetHeartbeatController(std::make_shared<heartbeat::HeartbeatController>(
      app->internal_->heartbeat_key, FindAppLogger(name), app->internal_->date_provider));
  app->LogHeartbeat();
  return app.release();
}

App* App::Create(const AppOptions& options) { return Create(options, kDefaultAppName); }

App* App::Create() {
  AppOptions options;
  if (LoadDefaultOptions(&options) == nullptr) return nullptr;
  return Create(options, kDefaultAppName);
}

App* App::GetInstance() { return GetDefaultApp(); }

App* App::GetInstance(const char* name) { return FindAppByName(name); }

std::vector<App*> App::GetApps() { return GetAllApps(); }

const std::string& App::heartbeat_key() const { return internal_->heartbeat_key; }

std::shared_ptr<heartbeat::HeartbeatController> App::GetHeartbeatController() const {
  MutexLock lock(internal_->controller_lock);
  return internal_->heartbeat_controller;
}

void App::LogHeartbeat() const {
  if (auto controller = GetHeartbeatController()) controller->LogHeartbeat();
}

void App::SetHeartbeatController(std::shared_ptr<heartbeat::HeartbeatController> controller) {
  std::shared_ptr<heartbeat::HeartbeatController> previous;
  {
    MutexLock lock(internal_->controller_lock);
    previous = std::exchange(internal_->heartbeat_controller, std::move(controller));
  }
  // Released outside the lock: destroying a controller waits for its worker.
}

}  // namespace nimbus
