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
#include "app/log.h"
#include "app/long_path_win.h"

namespace nimbus {
namespace {

void SetError(std::string* out_error, std::string message) {
  if (out_error) *out_error = std::move(message);
}

std::string ToUtf8(const std::wstring& text) { return NativeToUtf8(text.data(), text.size()); }

// The UTF-8 form of `text`, or false when it is not valid UTF-16 (an unpaired surrogate),
// which the conversion without flags would turn into U+FFFD: another folder's name.
bool StrictUtf8(const std::wstring& text, std::string* utf8) {
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, nullptr,
                                       0, nullptr, nullptr);
  if (size <= 0) return false;
  utf8->assign(static_cast<size_t>(size), '\0');
  return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), length, utf8->data(), size,
                             nullptr, nullptr) == size;
}

}  // namespace

void SetLocalAppDataFolderFromEnvironment(const char* variable) {
  const std::wstring name = Utf8ToNative(variable);
  const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) return;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
  if (length == 0 || length >= size) return;
  value.resize(length);
  std::string folder;
  if (!StrictUtf8(value, &folder)) {
    LogError("%s is not a valid path (it holds an unpaired surrogate): it is ignored.", variable);
    return;
  }
  SetLocalAppDataFolder(std::move(folder));
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
  const std::wstring native = ExtendedLengthPath(path);
  if (CreateDirectoryW(native.c_str(), nullptr)) return true;
  // A folder that exists is often reported as ERROR_ACCESS_DENIED rather than
  // ERROR_ALREADY_EXISTS: a drive root, a share's root, a folder under a parent the user
  // may not write to. Whatever the error, a folder in its place is what was asked for.
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(native.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return true;
  }
  if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES) {
    SetError(out_error, "Could not create directory " + ToUtf8(path));
    return false;
  }
  SetError(out_error,
           "Could not create directory " + ToUtf8(path) + ": non-directory already exists");
  return false;
}

}  // namespace nimbus
