#ifndef TERVALA_APP_TESTS_CONFIG_TEST_SUPPORT_H_
#define TERVALA_APP_TESTS_CONFIG_TEST_SUPPORT_H_

// Helpers for the tests of options and the library registry: a log sink that records every
// message, and a temporary directory that is removed afterwards.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/log.h"

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

// A fresh directory under the system's temporary folder, removed with its content.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nimbus-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `content` to the file `name` in this directory and returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace nimbus::testing

#endif  // TERVALA_APP_TESTS_CONFIG_TEST_SUPPORT_H_
