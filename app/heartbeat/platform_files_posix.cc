// The application-data folder and directory creation on POSIX systems, following the XDG
// base directory convention for where per-user data lives.

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/heartbeat/local_app_data.h"
#include "app/heartbeat/platform_files.h"

namespace nimbus {
namespace {

// Folders we create hold per-user data, so only the user may enter them.
constexpr mode_t kDirectoryMode = 0700;

void SetError(std::string* out_error, std::string message) {
  if (out_error) *out_error = std::move(message);
}

std::string ToUtf8(const std::wstring& text) { return NativeToUtf8(text.data(), text.size()); }

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The user's data folder: $XDG_DATA_HOME when it is an absolute path (relative values are
// to be ignored), else $HOME/.local/share. Trailing slashes are dropped so that joining
// with '/' gives clean paths.
std::optional<std::string> LocalAppDataFolder() {
  std::string folder;
  const char* data_home = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (data_home != nullptr && data_home[0] == '/') {
    folder = data_home;
  } else if (home != nullptr && home[0] != '\0') {
    folder = home;
    if (folder.back() != '/') folder += '/';
    folder += ".local/share";
  } else {
    return std::nullopt;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// Creates the missing levels of `base` itself; on Windows this folder always exists, here
// a new account may not have ~/.local/share yet.
bool EnsureBaseExists(const std::wstring& base, std::string* out_error) {
  if (IsDirectory(ToUtf8(base))) return true;
  for (size_t slash = base.find(L'/', 1); slash != std::wstring::npos;
       slash = base.find(L'/', slash + 1)) {
    if (base[slash - 1] == L'/') continue;
    if (!EnsureDirectoryExists(base.substr(0, slash), out_error)) return false;
  }
  return EnsureDirectoryExists(base, out_error);
}

}  // namespace

void SetLocalAppDataFolderFromEnvironment(const char* variable) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] != '\0') SetLocalAppDataFolder(value);
}

bool LocalAppDataBase(bool should_create, std::wstring* base, std::string* out_error) {
  const std::optional<std::string> folder = LocalAppDataFolder();
  if (!folder) {
    // The code is a negated errno value: the folder is not known.
    SetError(out_error, "Failed to find the local application data directory (error code: " +
                            std::to_string(-ENOENT) + ")");
    return false;
  }
  *base = Utf8ToNative(*folder);
  return base->empty() || !should_create || EnsureBaseExists(*base, out_error);
}

bool EnsureDirectoryExists(const std::wstring& path, std::string* out_error) {
  const std::string native = ToUtf8(path);
  if (mkdir(native.c_str(), kDirectoryMode) == 0) return true;
  if (errno != EEXIST) {
    SetError(out_error, "Could not create directory " + native);
    return false;
  }
  struct stat info;
  if (stat(native.c_str(), &info) != 0) {
    SetError(out_error, "Could not create directory " + native);
    return false;
  }
  if (S_ISDIR(info.st_mode)) return true;
  SetError(out_error, "Could not create directory " + native + ": non-directory already exists");
  return false;
}

}  // namespace nimbus
