// Reading configuration files with the Win32 file API, so that paths with any Unicode
// character open (the C runtime's narrow functions take the ANSI code page).
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "app/config_file.h"
#include "app/long_path_win.h"
#include "app/scoped_handle_win.h"

namespace nimbus {
namespace {

// The text of a failed UTF-8 to UTF-16 conversion.
constexpr char kBadConversion[] = "bad conversion";

// The UTF-16 form of a UTF-8 path, or nothing when the path is not valid UTF-8 (which would
// otherwise open another file, with U+FFFD in its name).
bool ToWidePath(const char* path, std::wstring* wide) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide->data(), length) !=
      length) {
    return false;
  }
  wide->pop_back();  // the terminator
  return true;
}

}  // namespace

const char kNativePathSeparator = '\\';

ConfigFileStatus ReadConfigFile(const char* path, std::size_t max_size, std::string* contents,
                                std::string* conversion_error) {
  std::wstring wide_path;
  if (!ToWidePath(path, &wide_path)) {
    if (conversion_error != nullptr) *conversion_error = kBadConversion;
    return ConfigFileStatus::kBadPath;
  }
  // Shared with every other reader and writer, so a file open in an editor can be read. A
  // long path opens in its extended-length form.
  ScopedHandle file(CreateFileW(ExtendedLengthPath(wide_path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return ConfigFileStatus::kUnavailable;
  // Directories cannot be opened this way; pipes, consoles and devices are refused here.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return ConfigFileStatus::kUnavailable;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return ConfigFileStatus::kUnavailable;
  if (size.QuadPart < 0 || static_cast<std::uint64_t>(size.QuadPart) > max_size) {
    return ConfigFileStatus::kTooLarge;
  }
  // Exactly the size seen above is read; a file that shrinks meanwhile is a failed read.
  std::string buffer(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < buffer.size()) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data() + done, static_cast<DWORD>(buffer.size() - done), &read,
                  nullptr) ||
        read == 0) {
      return ConfigFileStatus::kReadFailed;
    }
    done += read;
  }
  *contents = std::move(buffer);
  return ConfigFileStatus::kOk;
}

}  // namespace nimbus
