#include "app/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "app/scoped_fd_posix.h"

namespace nimbus {
namespace {

// The text of a failed UTF-8 to UTF-16 conversion.
constexpr char kBadConversion[] = "bad conversion";

// Whether `text` is well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates and nothing above U+10FFFF. POSIX paths are bytes, but a path that could not
// be converted for the native API on other systems is refused here as well.
bool IsValidUtf8(const char* text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    const unsigned char lead = *p++;
    if (lead < 0x80) continue;
    int continuation;
    std::uint32_t code;
    std::uint32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
      continuation = 1;
      code = lead & 0x1F;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      continuation = 2;
      code = lead & 0x0F;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      continuation = 3;
      code = lead & 0x07;
      minimum = 0x10000;
    } else {
      return false;
    }
    for (int i = 0; i < continuation; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return false;  // also stops at the terminating zero
      code = (code << 6) | (*p & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  }
  return true;
}

}  // namespace

const char kNativePathSeparator = '/';

ConfigFileStatus ReadConfigFile(const char* path, std::size_t max_size, std::string* contents,
                                std::string* conversion_error) {
  if (!IsValidUtf8(path)) {
    if (conversion_error != nullptr) *conversion_error = kBadConversion;
    return ConfigFileStatus::kBadPath;
  }
  // Non-blocking, so that a FIFO in place of the file cannot stall the caller; it is then
  // refused as not a regular file.
  ScopedFd fd(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return ConfigFileStatus::kUnavailable;
  struct stat info;
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return ConfigFileStatus::kUnavailable;
  }
  if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > max_size) {
    return ConfigFileStatus::kTooLarge;
  }
  // Exactly the size seen above is read; a file that shrinks meanwhile is a failed read.
  std::string buffer(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = read(fd.get(), buffer.data() + done, buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ConfigFileStatus::kReadFailed;
    done += static_cast<std::size_t>(n);
  }
  *contents = std::move(buffer);
  return ConfigFileStatus::kOk;
}

}  // namespace nimbus
