#include "app/library_registry.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <version>  // defines the macros that name the C++ runtime

#include "app/app.h"
#include "app/assert.h"
#include "app/log.h"
#include "app/process_locks.h"

namespace nimbus {
namespace {

// What the build is made of, as reported in the user agent.
#if defined(_WIN32)
constexpr char kBuildOs[] = "windows";
#elif defined(__APPLE__)
constexpr char kBuildOs[] = "darwin";
#elif defined(__linux__)
constexpr char kBuildOs[] = "linux";
#else
constexpr char kBuildOs[] = "unknown";
#endif

#if defined(__x86_64__) || defined(_M_X64)
constexpr char kBuildArch[] = "x86_64";
#elif defined(__aarch64__) || defined(_M_ARM64)
constexpr char kBuildArch[] = "arm64";
#elif defined(__i386__) || defined(_M_IX86)
constexpr char kBuildArch[] = "x86";
#elif defined(__arm__) || defined(_M_ARM)
constexpr char kBuildArch[] = "arm";
#else
constexpr char kBuildArch[] = "unknown";
#endif

#if defined(_MSC_VER) && defined(_DLL)
constexpr char kBuildStl[] = "MD";
#elif defined(_MSC_VER)
constexpr char kBuildStl[] = "MT";
#elif defined(_LIBCPP_VERSION)
constexpr char kBuildStl[] = "libc++";
#elif defined(__GLIBCXX__)
constexpr char kBuildStl[] = "libstdc++";
#else
constexpr char kBuildStl[] = "unknown";
#endif

// The app core's own libraries, in the order they are registered.
constexpr struct {
  const char* library;
  const char* version;
} kCoreLibraries[] = {
    {"nimbus-cpp", kSdkVersion},         {"nimbus-cpp-os", kBuildOs},
    {"nimbus-cpp-arch", kBuildArch},     {"nimbus-cpp-stl", kBuildStl},
    {"nimbus-cpp-buildsrc", "ci_built"},
};

// The SDKs that may host the app core, in order of precedence.
constexpr const char* kHostSdks[] = {"nimbus-unity", "nimbus-mono", "nimbus-cpp"};

// Library names and versions with the user agent built from them. Guarded by the app
// registry lock.
class LibraryRegistry {
 public:
  // Stores `version` for `library`; returns whether that changed anything.
  bool RegisterLibrary(const std::string& library, std::string_view version) {
    auto it = libraries_.find(library);
    if (it == libraries_.end()) {
      libraries_.emplace(library, version);
      return true;
    }
    if (it->second == version) return false;
    if (!it->second.empty()) {
      const std::string new_version(version);
      LogWarning(
          "Library %s is already registered with version %s. This will be overridden with "
          "version %s.",
          library.c_str(), it->second.c_str(), new_version.c_str());
    }
    it->second = version;
    return true;
  }

  // Rebuilds the user agent from the libraries, in ascending name order.
  void RebuildUserAgent() {
    user_agent_.clear();
    for (const auto& [library, version] : libraries_) {
      user_agent_ += library;
      user_agent_ += '/';
      user_agent_ += version;
      user_agent_ += ' ';
    }
    if (!user_agent_.empty()) user_agent_.pop_back();
  }

  std::string GetVersion(const std::string& library) const {
    auto it = libraries_.find(library);
    return it != libraries_.end() ? it->second : std::string();
  }

  const std::string& user_agent() const { return user_agent_; }
  bool core_libraries_registered() const { return core_libraries_registered_; }
  void set_core_libraries_registered() { core_libraries_registered_ = true; }

 private:
  std::map<std::string, std::string> libraries_;
  std::string user_agent_;
  bool core_libraries_registered_ = false;
};

// The registry, when it exists. Guarded by the app registry lock.
std::unique_ptr<LibraryRegistry>& Registry() {
  static auto* registry = new std::unique_ptr<LibraryRegistry>();
  return *registry;
}

// The registry, created when absent. Call with the app registry lock held.
LibraryRegistry& EnsureRegistry() {
  auto& registry = Registry();
  if (!registry) registry = std::make_unique<LibraryRegistry>();
  return *registry;
}

}  // namespace

void App::RegisterLibrary(const char* library, const char* version) {
  NIMBUS_ASSERT_RETURN_VOID(library != nullptr);
  NIMBUS_ASSERT_RETURN_VOID(version != nullptr);
  MutexLock lock(AppRegistryLock());
  LibraryRegistry& registry = EnsureRegistry();
  if (registry.RegisterLibrary(library, version)) registry.RebuildUserAgent();
}

const char* App::GetUserAgent() {
  MutexLock lock(AppRegistryLock());
  return EnsureRegistry().user_agent().c_str();
}

std::string App::GetUserAgentCopy() {
  MutexLock lock(AppRegistryLock());
  return EnsureRegistry().user_agent();
}

void RegisterCoreLibraries() {
  MutexLock lock(AppRegistryLock());
  LibraryRegistry& registry = EnsureRegistry();
  if (registry.core_libraries_registered()) return;
  for (const auto& core : kCoreLibraries) App::RegisterLibrary(core.library, core.version);
  registry.set_core_libraries_registered();
}

std::string GetLibraryVersion(const char* library) {
  NIMBUS_ASSERT_RETURN(library != nullptr, std::string());
  MutexLock lock(AppRegistryLock());
  const auto& registry = Registry();
  return registry ? registry->GetVersion(library) : std::string();
}

void FindHostSdk(std::string& sdk, std::string& version) {
  MutexLock lock(AppRegistryLock());
  sdk.clear();
  version.clear();
  const auto& registry = Registry();
  if (!registry) return;
  for (const char* candidate : kHostSdks) {
    std::string candidate_version = registry->GetVersion(candidate);
    if (!candidate_version.empty()) {
      sdk = candidate;
      version = std::move(candidate_version);
      return;
    }
  }
}

void RegisterLibrariesFromText(const char* text) {
  NIMBUS_ASSERT_RETURN_VOID(text != nullptr);
  MutexLock lock(AppRegistryLock());
  LibraryRegistry& registry = EnsureRegistry();
  bool changed = false;
  std::string_view rest(text);
  while (!rest.empty()) {
    const size_t end = rest.find(' ');
    const std::string_view token = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const size_t slash = token.find('/');
    if (slash == std::string_view::npos || slash == 0) continue;
    // Evaluated on its own so that every token is registered, not only those up to the
    // first change.
    const bool token_changed =
        registry.RegisterLibrary(std::string(token.substr(0, slash)), token.substr(slash + 1));
    changed = changed || token_changed;
  }
  if (changed) registry.RebuildUserAgent();
}

void DestroyLibraryRegistry() {
  MutexLock lock(AppRegistryLock());
  Registry().reset();
}

}  // namespace nimbus
