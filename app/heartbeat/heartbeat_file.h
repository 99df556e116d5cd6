#ifndef TERVALA_APP_HEARTBEAT_HEARTBEAT_FILE_H_
#define TERVALA_APP_HEARTBEAT_HEARTBEAT_FILE_H_

// Whole-file operations beneath the heartbeat storage: create, read in one piece, and
// replace atomically. Paths are UTF-16 as elsewhere in the heartbeat; results are status
// values, and the storage turns them into its messages.

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbus {
namespace heartbeat {

// The outcome of a whole-file operation.
enum class FileResult {
  kOk,
  kOpenFailed,   // the file could not be opened, created or put in place
  kTooLarge,     // the file is larger than the limit given
  kSizeUnknown,  // the size of the open file could not be told
  kIoFailed,     // reading or writing failed, or the file changed while it was read
};

// Creates `path` empty if it is missing and leaves an existing file unchanged. A symbolic
// link in its place is neither followed nor changed (the next write replaces it).
bool TouchFile(const std::wstring& path);

// Reads the whole regular file `path`, which may hold at most `max_size` bytes, into
// `contents`. `contents` is changed only on success. A symbolic link in the file's place is
// never followed: it reads as an empty file.
FileResult ReadWholeFile(const std::wstring& path, size_t max_size, std::string* contents);

// Replaces the content of `path` with `contents` so that readers and crashes see either the
// old file or the new one, never a mixture: the bytes go to a new file in the same folder,
// reach the disk, and the new file is then renamed over `path`. kOpenFailed when the new
// file cannot be created or put in place, kIoFailed when writing it fails; either way
// `path` is left as it was.
FileResult ReplaceFileContents(const std::wstring& path, std::string_view contents);

// Removes temporary files that ReplaceFileContents left beside `path` when its process was
// killed in the middle, once they are at least `min_age_seconds` old (a live writer holds
// its file for milliseconds).
void RemoveStaleTemporaryFiles(const std::wstring& path, int min_age_seconds);

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_HEARTBEAT_FILE_H_
