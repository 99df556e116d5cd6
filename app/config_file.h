#ifndef TERVALA_APP_CONFIG_FILE_H_
#define TERVALA_APP_CONFIG_FILE_H_

#include <cstddef>
#include <string>

namespace nimbus {

// Reading a configuration file whole, with an upper bound on its size.

// The separator appended to a config directory that does not end in one ('/' on POSIX).
extern const char kNativePathSeparator;

// The largest configuration file that is read, in bytes.
inline constexpr std::size_t kMaxConfigFileSize = 512000;

enum class ConfigFileStatus {
  kOk,
  kBadPath,      // the path is not valid UTF-8
  kUnavailable,  // missing, not a regular file, or not openable
  kTooLarge,     // larger than the limit
  kReadFailed,   // opened, but the content could not be read whole
};

// Reads the file at `path` (UTF-8) into `contents`, which is replaced only on success. The
// file is opened for reading only and shared with other readers and writers. On kBadPath,
// `conversion_error` (when not null) receives the reason.
ConfigFileStatus ReadConfigFile(const char* path, std::size_t max_size, std::string* contents,
                                std::string* conversion_error = nullptr);

}  // namespace nimbus

#endif  // TERVALA_APP_CONFIG_FILE_H_
