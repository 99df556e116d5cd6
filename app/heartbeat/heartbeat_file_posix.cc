// Whole-file operations of the heartbeat storage over POSIX file descriptors.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>

#include "app/heartbeat/heartbeat_file.h"
#include "app/heartbeat/platform_files.h"
#include "app/scoped_fd_posix.h"

namespace nimbus {
namespace heartbeat {
namespace {

// Temporary files are named after the file they replace plus this infix and six random
// characters. Heartbeat file names never contain a period, so no heartbeat file can be
// taken for a temporary one.
constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr size_t kTemporarySuffixLength = 6;

// The longest file name (in bytes) that file systems take.
constexpr size_t kMaxFileNameBytes = 255;

// The start of the temporary files' names for the file named `name`: the name itself, cut
// (at a whole UTF-8 character) where needed so that the temporary name fits the limit
// whenever `name` does.
std::string TemporaryPrefix(std::string_view name) {
  const size_t room = kMaxFileNameBytes - kTemporaryInfix.size() - kTemporarySuffixLength;
  if (name.size() > room) {
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name = name.substr(0, cut);
  }
  std::string prefix(name);
  prefix += kTemporaryInfix;
  return prefix;
}

// Heartbeat records are the user's own: new files are private.
constexpr mode_t kFileMode = 0600;

std::string ToUtf8(const std::wstring& path) { return NativeToUtf8(path.data(), path.size()); }

// Whether `path` itself is a symbolic link (an open with O_NOFOLLOW then fails with ELOOP).
bool IsLink(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool ReadAll(int fd, char* buffer, size_t size) {
  while (size > 0) {
    const ssize_t count = read(fd, buffer, size);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return false;  // the file shrank after its size was taken
    buffer += count;
    size -= static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

bool TouchFile(const std::wstring& path) {
  const std::string native = ToUtf8(path);
  if (native.empty()) return false;
  // O_NONBLOCK keeps a FIFO in the file's place from blocking the open; O_NOFOLLOW keeps a
  // symbolic link there from creating a file wherever it points, outside the folder.
  const int fd =
      open(native.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW,
           kFileMode);
  // A link in the file's place is left for the next write to replace.
  if (fd < 0) return errno == ELOOP && IsLink(native);
  close(fd);
  return true;
}

FileResult ReadWholeFile(const std::wstring& path, size_t max_size, std::string* contents) {
  const std::string native = ToUtf8(path);
  if (native.empty()) return FileResult::kOpenFailed;
  // A symbolic link in the file's place is not followed: the record is the folder's own,
  // and there is none yet. The next write replaces the link with the file.
  ScopedFd fd(open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
  if (fd.get() < 0) {
    if (errno != ELOOP || !IsLink(native)) return FileResult::kOpenFailed;
    contents->clear();
    return FileResult::kOk;
  }
  struct stat info;
  if (fstat(fd.get(), &info) != 0) return FileResult::kSizeUnknown;
  // Directories, FIFOs and devices are not files we can read in one piece.
  if (!S_ISREG(info.st_mode)) return FileResult::kOpenFailed;
  if (info.st_size < 0) return FileResult::kSizeUnknown;
  const auto size = static_cast<size_t>(info.st_size);
  if (size > max_size) return FileResult::kTooLarge;

  std::string buffer(size, '\0');
  if (!ReadAll(fd.get(), buffer.data(), size)) return FileResult::kIoFailed;
  *contents = std::move(buffer);
  return FileResult::kOk;
}

FileResult ReplaceFileContents(const std::wstring& path, std::string_view contents) {
  const std::string target = ToUtf8(path);
  if (target.empty()) return FileResult::kOpenFailed;
  const size_t slash = target.rfind('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  std::string temporary = target.substr(0, name_start);
  temporary += TemporaryPrefix(std::string_view(target).substr(name_start));
  temporary.append(kTemporarySuffixLength, 'X');

  // mkostemp creates exclusively, so it follows no link; rename replaces a link in the
  // file's place rather than what it points to.
  ScopedFd fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) return FileResult::kOpenFailed;
  // The new content must be on disk before the rename makes it the file: otherwise a power
  // cut could leave a renamed but empty file.
  bool written = WriteAll(fd.get(), contents) && fsync(fd.get()) == 0;
  written = fd.Close() && written;
  if (!written) {
    unlink(temporary.c_str());
    return FileResult::kIoFailed;
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    unlink(temporary.c_str());
    return FileResult::kOpenFailed;
  }
  return FileResult::kOk;
}

void RemoveStaleTemporaryFiles(const std::wstring& path, int min_age_seconds) {
  const std::string target = ToUtf8(path);
  const size_t slash = target.rfind('/');
  if (slash == std::string::npos) return;
  const std::string folder = slash == 0 ? std::string("/") : target.substr(0, slash);
  const std::string prefix = TemporaryPrefix(std::string_view(target).substr(slash + 1));

  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return;
  const time_t now = time(nullptr);
  while (const dirent* entry = readdir(directory)) {
    const std::string_view name(entry->d_name);
    if (name.size() != prefix.size() + kTemporarySuffixLength || !name.starts_with(prefix)) {
      continue;
    }
    struct stat info;
    if (fstatat(dirfd(directory), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(info.st_mode) && now - info.st_mtime >= min_age_seconds) {
      unlinkat(dirfd(directory), entry->d_name, 0);
    }
  }
  closedir(directory);
}

}  // namespace heartbeat
}  // namespace nimbus
