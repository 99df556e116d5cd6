// Finds an application bundle from the engine properties: resolves its three paths against the
// executable's folder, checks that the assets folder and the ICU data file exist, loads the
// compiled application library and looks up its entry point.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_LOADER_H_
#define TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_LOADER_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/engine/include/vela_bundle.h"
#include "platform/engine/include/vela_windows.h"

namespace vela_engine {

// A loaded bundle: its resolved paths, its entry point and its arguments. Unloads the
// library when destroyed.
class Bundle {
 public:
  // Loads the bundle the properties describe. On failure returns null and sets `error` to
  // one line saying everything that is missing.
  static std::unique_ptr<Bundle> Load(const VelaDesktopEngineProperties* properties,
                                      std::string* error);
  ~Bundle();
  Bundle(const Bundle&) = delete;
  Bundle& operator=(const Bundle&) = delete;

  // Calls the entry point with `host` and the arguments.
  void RunEntryPoint(const VelaBundleHost* host) const;

  const std::string& assets_path() const { return assets_path_; }
  const std::string& icu_data_path() const { return icu_data_path_; }
  const std::string& library_path() const { return library_path_; }

 private:
  Bundle() = default;

  std::string assets_path_;
  std::string icu_data_path_;
  std::string library_path_;
  void* library_ = nullptr;
  VelaBundleEntryPoint entry_point_ = nullptr;
  std::vector<std::string> arguments_;
  std::vector<const char*> argument_pointers_;  // Into arguments_, then a null.
};

// The UTF-8 form of a wide path; relative paths are joined to the executable's folder.
std::string ResolveBundlePath(const WCHAR* path);

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_LOADER_H_
