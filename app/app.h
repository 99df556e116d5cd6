#ifndef TERVALA_APP_APP_H_
#define TERVALA_APP_APP_H_

#include <string>

namespace nimbus {

// The app object: one configured connection to a cloud backend project. For now it carries
// only the library registry's entry points (implemented in library_registry.cc); app
// creation, the app registry and the per-app services join it later.
class App {
 public:
  // Records that `library` at `version` is part of this client and rebuilds the user
  // agent when that changes anything. Takes the app registry lock.
  static void RegisterLibrary(const char* library, const char* version);

  // The user agent: every registered library as name/version, in name order, separated by
  // blanks. The pointer stays valid only until the registry next changes, so it must not
  // be used where another thread may register libraries; use GetUserAgentCopy there.
  static const char* GetUserAgent();

  // A copy of the user agent, taken under the app registry lock; safe on any thread.
  static std::string GetUserAgentCopy();
};

}  // namespace nimbus

#endif  // TERVALA_APP_APP_H_
