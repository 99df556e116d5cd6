#include "app/long_path_win.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace nimbus {
namespace {

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";
constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";

// The absolute form of `path`, with "." and ".." resolved and every '/' turned into '\'
// (GetFullPathNameW does both, whatever the length). Empty on failure.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(path.size() + MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::wstring();
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    // Too small: `length` is the size needed, the terminator included. The current folder
    // may change meanwhile, hence the few attempts.
    full.resize(length);
  }
  return std::wstring();
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (path.size() < kLongPathThreshold) return path;
  const std::wstring_view view(path);
  if (view.starts_with(kExtendedPrefix) || view.starts_with(kDevicePrefix) ||
      view.starts_with(L"\\??\\")) {
    return path;
  }
  const std::wstring full = FullPath(path);
  if (full.size() < 3) return path;
  if (full[0] == L'\\' && full[1] == L'\\') {
    // \\server\share\...
    return std::wstring(kExtendedUncPrefix) + full.substr(2);
  }
  return std::wstring(kExtendedPrefix) + full;
}

}  // namespace nimbus
