#ifndef TERVALA_APP_APP_H_
#define TERVALA_APP_APP_H_

#include <memory>
#include <string>
#include <vector>

#include "app/app_initializer.h"
#include "app/app_options.h"

namespace nimbus {

namespace heartbeat {
class HeartbeatController;
}  // namespace heartbeat

// The name of the default app.
inline constexpr char kDefaultAppName[] = "__NIMBUSAPP_DEFAULT";

// One configured connection to a cloud backend project: a name that is unique in the
// process-wide app registry, validated options, and the per-app services (the daily usage
// heartbeat). Apps are made only by App::Create and belong to the caller that created them;
// deleting one takes it out of the registry. When the last app goes, the registry, the
// callback module and the library registry end with it.
class App {
 public:
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Creates and registers the app `name`, completing missing required options from the
  // configuration files, and logs its daily heartbeat on a worker thread. When an app of
  // that name exists, that app is returned unchanged (with an error message; `options` are
  // not applied) and stays its creator's. Null when the options are incomplete.
  static App* Create(const AppOptions& options, const char* name);
  // Creates the default app with `options`.
  static App* Create(const AppOptions& options);
  // Creates the default app with the options of the first configuration file that loads;
  // null when none does.
  static App* Create();

  // The default app, or null.
  static App* GetInstance();
  // The app named `name`, or null.
  static App* GetInstance(const char* name);
  // Every app, in name order, with the default app last.
  static std::vector<App*> GetApps();

  const char* name() const { return name_.c_str(); }
  const AppOptions& options() const { return options_; }
  // Each app initializer's result for this app, by module name.
  const AppInitResults& init_results() const { return init_results_; }
  // The key of the app's heartbeat file: the package name, ".", and the app's name.
  const std::string& heartbeat_key() const;

  // A shared hold on the app's heartbeat controller; empty before creation has finished.
  // The controller stops working when the app is deleted.
  std::shared_ptr<heartbeat::HeartbeatController> GetHeartbeatController() const;
  // Asks the app's heartbeat controller to log today's heartbeat if it has not yet.
  void LogHeartbeat() const;

  // Library registry (implemented in library_registry.cc).

  // Records that `library` at `version` is part of this client and rebuilds the user
  // agent when that changes anything. Takes the app registry lock.
  static void RegisterLibrary(const char* library, const char* version);

  // The user agent: every registered library as name/version, in name order, separated by
  // blanks. The pointer stays valid only until the registry next changes, so it must not
  // be used where another thread may register libraries; use GetUserAgentCopy there.
  static const char* GetUserAgent();

  // A copy of the user agent, taken under the app registry lock; safe on any thread.
  static std::string GetUserAgentCopy();

 private:
  struct Internal;

  App(const char* name, const AppOptions& options);
  void SetHeartbeatController(std::shared_ptr<heartbeat::HeartbeatController> controller);

  std::string name_;
  AppOptions options_;
  AppInitResults init_results_;
  std::unique_ptr<Internal> internal_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_APP_H_
