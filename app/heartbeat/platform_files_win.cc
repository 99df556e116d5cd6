// The local application-data folder and directory creation on Windows.
#include <windows.h>
// After <windows.h>, which they build on.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <utility>

#include "app/heartbeat/local_app_data.h"
#include "app/heartbeat/platform_files.h"

namespace nimbus {
namespace {

void SetError(std::string* out_error, std::string message) {
  if (out_error) *out_error = std::move(message);
}

std::string ToUtf8(const std::wstring& text) { return NativeToUtf8(text.data(), text.size()); }

}  // namespace

void SetLocalAppDataFolderFromEnvironment(const char* variable) {
  const std::wstring name = Utf8ToNative(variable);
  const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) return;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
  if (length == 0 || length >= size) return;
  value.resize(length);
  std::string error;
  std::string folder = NativeToUtf8(value.data(), value.size(), &error);
  if (error.empty() && !folder.empty()) SetLocalAppDataFolder(std::move(folder));
}

bool LocalAppDataBase(bool /*should_create*/, std::wstring* base, std::string* out_error) {
  PWSTR folder = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder);
  // The buffer is the caller's to free, also when the lookup failed.
  *base = SUCCEEDED(result) && folder != nullptr ? folder : L"";
  CoTaskMemFree(folder);
  if (FAILED(result)) {
    SetError(out_error, "Failed to find the local application data directory (error code: " +
                            std::to_string(static_cast<long>(result)) + ")");
    return false;
  }
  // The folder always exists on Windows.
  return true;
}

bool EnsureDirectoryExists(const std::wstring& path, std::string* out_error) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) {
    SetError(out_error, "Could not create directory " + ToUtf8(path));
    return false;
  }
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    SetError(out_error, "Could not create directory " + ToUtf8(path));
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
  SetError(out_error,
           "Could not create directory " + ToUtf8(path) + ": non-directory already exists");
  return false;
}

}  // namespace nimbus
