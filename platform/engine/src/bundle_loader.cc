// Bundle loading: the paths resolved, the files checked, the library loaded.
#include "platform/engine/src/bundle_loader.h"

#include <utility>

#include "platform/engine/src/bundle_files.h"

namespace vela_engine {
namespace {

std::string ToUtf8(const WCHAR* text) {
  if (text == nullptr || text[0] == L'\0') return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<size_t>(size - 1));
  return result;
}

void AddProblem(std::string* problems, const std::string& problem) {
  if (!problems->empty()) *problems += "; ";
  *problems += problem;
}

}  // namespace

std::string ResolveBundlePath(const WCHAR* path) {
  std::string utf8 = ToUtf8(path);
  if (utf8.empty() || IsAbsolutePath(utf8)) return utf8;
  const std::string folder = ExecutableFolder();
  return folder.empty() ? utf8 : JoinPath(folder, utf8);
}

std::unique_ptr<Bundle> Bundle::Load(const VelaDesktopEngineProperties* properties,
                                     std::string* error) {
  if (properties == nullptr) {
    *error = "Vela engine: cannot start: no engine properties were given";
    return nullptr;
  }
  std::unique_ptr<Bundle> bundle(new Bundle());
  bundle->assets_path_ = ResolveBundlePath(properties->assets_path);
  bundle->icu_data_path_ = ResolveBundlePath(properties->icu_data_path);
  bundle->library_path_ = ResolveBundlePath(properties->aot_library_path);

  std::string problems;
  if (bundle->assets_path_.empty()) {
    AddProblem(&problems, "no assets folder was given");
  } else if (!IsDirectory(bundle->assets_path_)) {
    AddProblem(&problems, "the assets folder \"" + bundle->assets_path_ + "\" is missing");
  }
  if (bundle->icu_data_path_.empty()) {
    AddProblem(&problems, "no ICU data file was given");
  } else if (!IsFile(bundle->icu_data_path_)) {
    AddProblem(&problems, "the ICU data file \"" + bundle->icu_data_path_ + "\" is missing");
  }
  const std::string entry_name =
      std::string("vela_entry_") +
      (properties->entrypoint != nullptr && properties->entrypoint[0] != '\0'
           ? properties->entrypoint
           : "main");
  if (bundle->library_path_.empty()) {
    AddProblem(&problems, "no application library was given");
  } else if (!IsFile(bundle->library_path_)) {
    AddProblem(&problems, "the application library \"" + bundle->library_path_ + "\" is missing");
  } else {
    std::string reason;
    bundle->library_ = OpenLibrary(bundle->library_path_, &reason);
    if (bundle->library_ == nullptr) {
      AddProblem(&problems, "the application library \"" + bundle->library_path_ +
                                "\" cannot be loaded (" + reason + ")");
    } else {
      bundle->entry_point_ =
          reinterpret_cast<VelaBundleEntryPoint>(FindSymbol(bundle->library_, entry_name.c_str()));
      if (bundle->entry_point_ == nullptr) {
        AddProblem(&problems, "the application library \"" + bundle->library_path_ +
                                  "\" has no entry point " + entry_name);
      }
    }
  }
  if (properties->entrypoint_argc < 0 ||
      (properties->entrypoint_argc > 0 && properties->entrypoint_argv == nullptr)) {
    AddProblem(&problems, "the entry-point arguments are invalid");
  }
  if (!problems.empty()) {
    *error = "Vela engine: cannot start: " + problems;
    return nullptr;  // The destructor unloads a library that was loaded.
  }

  for (int32_t i = 0; i < properties->entrypoint_argc; ++i) {
    const char* argument = properties->entrypoint_argv[i];
    bundle->arguments_.emplace_back(argument != nullptr ? argument : "");
  }
  for (const std::string& argument : bundle->arguments_) {
    bundle->argument_pointers_.push_back(argument.c_str());
  }
  bundle->argument_pointers_.push_back(nullptr);
  return bundle;
}

Bundle::~Bundle() {
  if (library_ != nullptr) CloseLibrary(library_);
}

void Bundle::RunEntryPoint(const VelaBundleHost* host) const {
  entry_point_(host, static_cast<int>(arguments_.size()), argument_pointers_.data());
}

}  // namespace vela_engine
