#ifndef TERVALA_APP_TESTS_CONFIG_TEST_SUPPORT_H_
#define TERVALA_APP_TESTS_CONFIG_TEST_SUPPORT_H_

// Helpers for the tests of options and the library registry: a log sink that records every
// message, and a temporary directory that is removed afterwards.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/log.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"

namespace nimbus::testing {

using LogLine = std::pair<LogLevel, std::string>;

// Records every message while it exists, at every level, and restores the default sink and
// level afterwards.
class LogCapture {
 public:
  LogCapture() {
    SetLogLevel(kLogLevelVerbose);
    LogSetCallback(&LogCapture::Sink, this);
  }
  ~LogCapture() {
    LogSetCallback(nullptr, nullptr);
    SetLogLevel(kLogLevelInfo);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The messages so far; the sink runs under the log lock, so read this when no other
  // thread logs.
  const std::vector<LogLine>& lines() const { return lines_; }
  void Clear() { lines_.clear(); }

 private:
  static void Sink(LogLevel level, const char* message, void* user_data) {
    static_cast<LogCapture*>(user_data)->lines_.emplace_back(level, message);
  }
  std::vector<LogLine> lines_;
};

// The platform's path separator, which the app core adds to a config directory.
constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// A fresh directory under the system's temporary folder, removed with its content.
class TempDir {
 public:
  // The directory as UTF-8, with the platform's separators.
  const std::string& path() const { return folder_.utf8(); }
  // `name` inside the directory.
  std::string Join(const std::string& name) const { return folder_.Join(name); }

  // Writes `content` to the file `name` in this directory and returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string file = Join(name);
    tervala_testing::WriteWholeFile(file, content);
    return file;
  }

 private:
  tervala_testing::ScratchFolder folder_{"nimbus-test"};
};

}  // namespace nimbus::testing

#endif  // TERVALA_APP_TESTS_CONFIG_TEST_SUPPORT_H_
