#include "app/heartbeat/tests/test_data_home.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace nimbus {
namespace heartbeat {
namespace testing {
namespace {

std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void RestoreEnv(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace

TestDataHome::TestDataHome()
    : saved_data_home_(GetEnv("XDG_DATA_HOME")), saved_home_(GetEnv("HOME")) {
  std::string pattern = (std::filesystem::temp_directory_path() / "heartbeat-test-XXXXXX");
  EXPECT_NE(mkdtemp(pattern.data()), nullptr);
  path_ = pattern;
  setenv("XDG_DATA_HOME", path_.c_str(), 1);
}

TestDataHome::~TestDataHome() {
  RestoreEnv("XDG_DATA_HOME", saved_data_home_);
  RestoreEnv("HOME", saved_home_);
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

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
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus
