#ifndef TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_STORAGE_TEST_H_
#define TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_STORAGE_TEST_H_

// The fixture of the heartbeat storage tests: a private data folder, the log captured, and
// the paths of the heartbeat folder and files.

#include <gtest/gtest.h>

#include <string>

#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/log.h"

namespace nimbus {
namespace heartbeat {
namespace testing {

inline LoggedHeartbeats TwoAgents() {
  LoggedHeartbeats record;
  record.last_logged_date = "2025-01-03";
  // Byte-wise order puts the upper-case agent first.
  record.heartbeats["nimbus-cpp/1.0 os/linux"] = {"2024-12-30", "2025-01-02", "2025-01-03"};
  record.heartbeats["Tervala/2.1"] = {"2025-01-01", "2024-12-31", "2025-01-03"};
  return record;
}

class HeartbeatStorageTest : public ::testing::Test {
 protected:
  std::string Folder() const { return home_.path() + "/nimbus-heartbeat"; }
  std::string PathOf(const std::string& file_key) const {
    return Folder() + "/heartbeats-" + file_key;
  }

  TestDataHome home_;
  LogCapture log_;
  Logger logger_{&GetSystemLogger()};
};

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_STORAGE_TEST_H_
