#include "app/heartbeat/tests/test_data_home.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/heartbeat/platform_files.h"
#include "platform/test_support/paths.h"

namespace nimbus {
namespace heartbeat {
namespace testing {

TestDataHome::TestDataHome() { SetLocalAppDataFolder(folder_.utf8()); }

TestDataHome::~TestDataHome() { SetLocalAppDataFolder(std::string()); }

LogCapture::LogCapture() { LogSetCallback(&LogCapture::Sink, this); }

LogCapture::~LogCapture() { LogSetCallback(nullptr, nullptr); }

void LogCapture::Sink(LogLevel level, const char* message, void* user_data) {
  static_cast<LogCapture*>(user_data)->messages_.emplace_back(level, message);
}

std::vector<std::string> LogCapture::Messages(LogLevel level) const {
  std::vector<std::string> texts;
  for (const auto& [message_level, text] : messages_) {
    if (message_level == level) texts.push_back(text);
  }
  return texts;
}

std::string ReadFileBytes(const std::string& path) {
  return tervala_testing::ReadWholeFile(path).value_or(std::string());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(tervala_testing::WriteWholeFile(path, bytes)) << path;
}

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(tervala_testing::PathFromUtf8(path), error);
}

bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(tervala_testing::PathFromUtf8(path), error);
}

std::vector<std::string> ListFolder(const std::string& folder) {
  return tervala_testing::FolderEntries(folder);
}

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus
