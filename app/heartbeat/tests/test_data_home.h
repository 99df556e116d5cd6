#ifndef TERVALA_APP_HEARTBEAT_TESTS_TEST_DATA_HOME_H_
#define TERVALA_APP_HEARTBEAT_TESTS_TEST_DATA_HOME_H_

// Test helpers: a private data folder in place of the user's, a log capture, whole-file
// reads and writes.

#include <string>
#include <utility>
#include <vector>

#include "app/log.h"
#include "platform/test_support/scratch_folder.h"

namespace nimbus {
namespace heartbeat {
namespace testing {

// Makes a new empty temporary folder and makes it the process's local application-data
// folder for its lifetime (through the app core's own setting, which every platform
// honours), so tests never touch the user's real folders. Gives the system's folder back
// and removes the temporary one afterwards.
class TestDataHome {
 public:
  TestDataHome();
  ~TestDataHome();
  TestDataHome(const TestDataHome&) = delete;
  TestDataHome& operator=(const TestDataHome&) = delete;

  // The temporary folder (UTF-8, the platform's separators), the application-data folder.
  const std::string& path() const { return folder_.utf8(); }

 private:
  tervala_testing::ScratchFolder folder_{"heartbeat-test"};
};

// Collects the messages of the process-wide log while it exists.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The texts logged at `level`, in order.
  std::vector<std::string> Messages(LogLevel level) const;
  std::vector<std::pair<LogLevel, std::string>> all() const { return messages_; }

 private:
  static void Sink(LogLevel level, const char* message, void* user_data);
  std::vector<std::pair<LogLevel, std::string>> messages_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// The names in `folder`, sorted.
std::vector<std::string> ListFolder(const std::string& folder);

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_TEST_DATA_HOME_H_
