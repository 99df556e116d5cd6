// Whole-file operations of the heartbeat storage over Win32 file handles.
#include <windows.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "app/heartbeat/heartbeat_file.h"
#include "app/scoped_handle_win.h"

namespace nimbus {
namespace heartbeat {
namespace {

// Temporary files are named after the file they replace plus this infix and six random
// characters. Heartbeat file names never contain a period, so no heartbeat file can be
// taken for a temporary one.
constexpr std::wstring_view kTemporaryInfix = L".tmp-";
constexpr size_t kTemporarySuffixLength = 6;
constexpr int kTemporaryNameAttempts = 100;

// The longest file name (in UTF-16 units) that NTFS and FAT take.
constexpr size_t kMaxFileNameUnits = 255;

// The start of the temporary files' names for the file named `name`: the name itself, cut
// (never inside a surrogate pair) where needed so that the temporary name fits the limit
// whenever `name` does.
std::wstring TemporaryPrefix(std::wstring_view name) {
  const size_t room = kMaxFileNameUnits - kTemporaryInfix.size() - kTemporarySuffixLength;
  if (name.size() > room) {
    size_t cut = room;
    if (name[cut] >= 0xDC00 && name[cut] <= 0xDFFF) --cut;  // a pair's second unit
    name = name.substr(0, cut);
  }
  std::wstring prefix(name);
  prefix += kTemporaryInfix;
  return prefix;
}

// Other processes may read and replace the file while it is open here, as on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The file itself, never what a symbolic link or junction in its place points to.
constexpr DWORD kOpenFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool ReadAll(HANDLE file, char* buffer, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD count = 0;
    if (!ReadFile(file, buffer, chunk, &count, nullptr)) return false;
    if (count == 0) return false;  // the file shrank after its size was taken
    buffer += count;
    size -= count;
  }
  return true;
}

// The folder part of a path, with either separator, or empty when it has none.
std::wstring FolderOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring RandomSuffix() {
  static constexpr wchar_t kAlphabet[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, std::size(kAlphabet) - 2);
  std::wstring suffix;
  for (size_t i = 0; i < kTemporarySuffixLength; ++i) suffix += kAlphabet[pick(generator)];
  return suffix;
}

}  // namespace

bool TouchFile(const std::wstring& path) {
  if (path.empty()) return false;
  ScopedHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                                kOpenFlags, nullptr));
  return file.valid();
}

FileResult ReadWholeFile(const std::wstring& path, size_t max_size, std::string* contents) {
  if (path.empty()) return FileResult::kOpenFailed;
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                kOpenFlags, nullptr));
  if (!file.valid()) return FileResult::kOpenFailed;
  // Pipes and devices are not files we can read in one piece.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return FileResult::kOpenFailed;
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file.get(), &information)) return FileResult::kOpenFailed;
  // A link in the file's place is not followed: it reads as an empty file, and the next
  // write replaces it.
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    contents->clear();
    return FileResult::kOk;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return FileResult::kSizeUnknown;
  if (static_cast<uint64_t>(size.QuadPart) > max_size) return FileResult::kTooLarge;

  std::string buffer(static_cast<size_t>(size.QuadPart), '\0');
  if (!ReadAll(file.get(), buffer.data(), buffer.size())) return FileResult::kIoFailed;
  *contents = std::move(buffer);
  return FileResult::kOk;
}

FileResult ReplaceFileContents(const std::wstring& path, std::string_view contents) {
  if (path.empty()) return FileResult::kOpenFailed;
  const size_t separator = path.find_last_of(L"\\/");
  const size_t name_start = separator == std::wstring::npos ? 0 : separator + 1;
  const std::wstring prefix =
      path.substr(0, name_start) + TemporaryPrefix(std::wstring_view(path).substr(name_start));
  std::wstring temporary;
  ScopedHandle file(INVALID_HANDLE_VALUE);
  for (int attempt = 0; attempt < kTemporaryNameAttempts && !file.valid(); ++attempt) {
    temporary = prefix + RandomSuffix();
    // CREATE_NEW fails on any existing name, a link included, so nothing else is written.
    file.Reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.valid()) return FileResult::kOpenFailed;
  // The new content must be on disk before the move makes it the file: otherwise a power
  // cut could leave a moved but empty file.
  bool written = WriteAll(file.get(), contents) && FlushFileBuffers(file.get());
  written = file.Close() && written;
  if (!written) {
    DeleteFileW(temporary.c_str());
    return FileResult::kIoFailed;
  }
  // Replaces the old file in one step; write-through returns only once the move is on disk.
  if (!MoveFileExW(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temporary.c_str());
    return FileResult::kOpenFailed;
  }
  return FileResult::kOk;
}

void RemoveStaleTemporaryFiles(const std::wstring& path, int min_age_seconds) {
  const std::wstring folder = FolderOf(path);
  if (folder.empty()) return;
  const std::wstring prefix = TemporaryPrefix(std::wstring_view(path).substr(folder.size() + 1));

  WIN32_FIND_DATAW entry;
  const std::wstring pattern = folder + L"\\" + prefix + L"*";
  HANDLE search =
      FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  FILETIME now_time;
  GetSystemTimeAsFileTime(&now_time);
  const auto to_seconds = [](const FILETIME& time) {
    return static_cast<int64_t>(
        (static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10000000u);
  };
  const int64_t now = to_seconds(now_time);
  do {
    const std::wstring_view name(entry.cFileName);
    if (name.size() != prefix.size() + kTemporarySuffixLength || !name.starts_with(prefix)) {
      continue;
    }
    // Only plain files: not folders, links or junctions.
    if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
      continue;
    }
    if (now - to_seconds(entry.ftLastWriteTime) >= min_age_seconds) {
      DeleteFileW((folder + L"\\" + entry.cFileName).c_str());
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

}  // namespace heartbeat
}  // namespace nimbus
