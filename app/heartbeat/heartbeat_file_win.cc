// Whole-file operations of the heartbeat storage over Win32 file handles.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/heartbeat/heartbeat_file.h"
#include "app/long_path_win.h"
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

// Renaming by handle with POSIX semantics replaces a file that other programs hold open
// (with delete sharing, as a reader of the heartbeat opens it): the old file lives on for
// them without a name. Windows 10 has had it since version 1709, on NTFS; elsewhere the call
// fails and the classic rename is used. The class is not in every SDK's enumeration.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

bool RenameByHandle(HANDLE file, std::wstring target) {
  // The name is converted as a path with '\\' separators only.
  std::replace(target.begin(), target.end(), L'/', L'\\');
  const size_t name_bytes = target.size() * sizeof(wchar_t);
  // The structure ends in the name, which may be longer than the one unit declared; the
  // buffer is of 8-byte units for the structure's alignment.
  const size_t size = sizeof(FILE_RENAME_INFO) + name_bytes;
  std::vector<uint64_t> buffer((size + 7) / 8, 0);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  std::copy(target.begin(), target.end(), rename->FileName);
  return SetFileInformationByHandle(file, kFileRenameInfoEx, rename, static_cast<DWORD>(size)) != 0;
}

// A scanner, indexer or second instance that has the file open makes the classic rename
// fail for as long as it holds it, which is normally milliseconds: the rename is tried a few
// more times within about a quarter of a second before the write counts as failed.
constexpr DWORD kRenameRetryDelaysMs[] = {5, 10, 20, 40, 75, 100};

bool MoveIntoPlace(const std::wstring& from, const std::wstring& to) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
  for (const DWORD delay : kRenameRetryDelaysMs) {
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    Sleep(delay);
    if (MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
  }
  return false;
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
  ScopedHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), FILE_APPEND_DATA, kShareAll,
                                nullptr, OPEN_ALWAYS, kOpenFlags, nullptr));
  return file.valid();
}

FileResult ReadWholeFile(const std::wstring& path, size_t max_size, std::string* contents) {
  if (path.empty()) return FileResult::kOpenFailed;
  ScopedHandle file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, kOpenFlags, nullptr));
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
  const std::wstring target = ExtendedLengthPath(path);
  std::wstring temporary;
  ScopedHandle file(INVALID_HANDLE_VALUE);
  for (int attempt = 0; attempt < kTemporaryNameAttempts && !file.valid(); ++attempt) {
    temporary = ExtendedLengthPath(prefix + RandomSuffix());
    // CREATE_NEW fails on any existing name, a link included, so nothing else is written.
    // DELETE access lets the handle rename its file.
    file.Reset(CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.valid()) return FileResult::kOpenFailed;
  // The new content must be on disk before the move makes it the file: otherwise a power
  // cut could leave a moved but empty file.
  if (!WriteAll(file.get(), contents) || !FlushFileBuffers(file.get())) {
    file.Close();
    DeleteFileW(temporary.c_str());
    return FileResult::kIoFailed;
  }
  if (RenameByHandle(file.get(), target)) {
    file.Close();
    return FileResult::kOk;
  }
  if (!file.Close()) {
    DeleteFileW(temporary.c_str());
    return FileResult::kIoFailed;
  }
  // Replaces the old file in one step; write-through returns only once the move is on disk.
  if (!MoveIntoPlace(temporary, target)) {
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
  HANDLE search = FindFirstFileExW(ExtendedLengthPath(pattern).c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, 0);
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
      DeleteFileW(ExtendedLengthPath(folder + L"\\" + entry.cFileName).c_str());
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

}  // namespace heartbeat
}  // namespace nimbus
