// The folder of a feature under the user's local application-data folder: the rules of
// naming and joining, the same on every platform.
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "app/heartbeat/local_app_data.h"
#include "app/heartbeat/platform_files.h"

namespace nimbus {
namespace {

void SetError(std::string* out_error, std::string message) {
  if (out_error) *out_error = std::move(message);
}

std::mutex& FolderMutex() {
  static std::mutex mutex;
  return mutex;
}

// The folder set by SetLocalAppDataFolder; empty when the system's is used. Guarded by
// FolderMutex(). Never destroyed, so a worker thread may still ask while the process ends.
std::string& FolderOverride() {
  static std::string* folder = new std::string();
  return *folder;
}

// The base folder: the one set for the process, else the system's.
bool BaseFolder(bool should_create, std::wstring* base, std::string* out_error) {
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(FolderMutex());
    folder = FolderOverride();
  }
  if (folder.empty()) return LocalAppDataBase(should_create, base, out_error);
  *base = Utf8ToNative(folder, out_error);
  if (base->empty()) return false;
  return !should_create || EnsureDirectoryExists(*base, out_error);
}

}  // namespace

void SetLocalAppDataFolder(std::string folder) {
  // Trailing separators are dropped (not a root's), so that joining gives clean paths.
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\') &&
         folder[folder.size() - 2] != ':') {
    folder.pop_back();
  }
  std::lock_guard<std::mutex> lock(FolderMutex());
  FolderOverride() = std::move(folder);
}

std::string AppDataDir(const char* app_name, bool should_create, std::string* out_error) {
  if (app_name == nullptr || app_name[0] == '\0') {
    SetError(out_error, "AppDataDir failed: no app_name provided");
    return std::string();
  }
  const std::string_view name(app_name);
  if (name.find('\\') != std::string_view::npos) {
    SetError(out_error, "AppDataDir failed: app_name should not contain backward slashes");
    return std::string();
  }

  std::wstring base;
  if (!BaseFolder(should_create, &base, out_error) || base.empty()) return std::string();

  if (should_create) {
    // Empty components (leading, trailing or repeated slashes) are skipped.
    std::wstring path = base;
    size_t start = 0;
    while (start <= name.size()) {
      size_t end = name.find('/', start);
      if (end == std::string_view::npos) end = name.size();
      if (end > start) {
        path += L'/';
        path += Utf8ToNative(std::string(name.substr(start, end - start)));
        if (!EnsureDirectoryExists(path, out_error)) return std::string();
      }
      start = end + 1;
    }
    return NativeToUtf8(path.data(), path.size(), out_error);
  }

  const std::wstring converted = Utf8ToNative(std::string(name), out_error);
  if (converted.empty()) return std::string();
  const std::wstring path = base + L'/' + converted;
  return NativeToUtf8(path.data(), path.size(), out_error);
}

}  // namespace nimbus
