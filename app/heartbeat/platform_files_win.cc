// The local application-data folder and directory creation on Windows.
#include <windows.h>
// After <windows.h>, which they build on.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <string_view>
#include <utility>

#include "app/heartbeat/platform_files.h"

namespace nimbus {
namespace {

void SetError(std::string* out_error, std::string message) {
  if (out_error) *out_error = std::move(message);
}

std::string ToUtf8(const std::wstring& text) { return NativeToUtf8(text.data(), text.size()); }

}  // namespace

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

  PWSTR folder = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder);
  // The buffer is the caller's to free, also when the lookup failed.
  const std::wstring base = SUCCEEDED(result) && folder != nullptr ? folder : L"";
  CoTaskMemFree(folder);
  if (FAILED(result)) {
    SetError(out_error, "Failed to find the local application data directory (error code: " +
                            std::to_string(static_cast<long>(result)) + ")");
    return std::string();
  }
  if (base.empty()) return std::string();

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
