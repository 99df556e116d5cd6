#ifndef TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_FILE_TEST_H_
#define TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_FILE_TEST_H_

// The fixture of tests that drive heartbeat controllers against one app's file in a private
// data folder: the library registry names a test library for the user agent, and the record
// on disk is read and written through storages of their own.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/library_registry.h"
#include "app/log.h"

namespace nimbus {
namespace heartbeat {
namespace testing {

class HeartbeatFileTest : public ::testing::Test {
 protected:
  // `key` is the app's heartbeat key, which names its file.
  explicit HeartbeatFileTest(std::string key) : key_(std::move(key)) {
    App::RegisterLibrary("tervala-test", "1.0");
  }
  ~HeartbeatFileTest() override { DestroyLibraryRegistry(); }

  // The record on disk.
  LoggedHeartbeats Stored() {
    LoggedHeartbeats record;
    EXPECT_TRUE(HeartbeatStorage(key_, &logger_).ReadTo(&record));
    return record;
  }
  void Store(const LoggedHeartbeats& record) {
    ASSERT_TRUE(HeartbeatStorage(key_, &logger_).Write(record));
  }

  const std::string key_;
  TestDataHome home_;
  Logger logger_{&GetSystemLogger()};
};

// A record with the given last date and heartbeats (user agent to dates).
inline LoggedHeartbeats Record(const std::string& last_logged_date,
                               std::map<std::string, std::vector<std::string>> heartbeats) {
  LoggedHeartbeats record;
  record.last_logged_date = last_logged_date;
  record.heartbeats = std::move(heartbeats);
  return record;
}

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_FILE_TEST_H_
