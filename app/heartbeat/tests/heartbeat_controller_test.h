#ifndef TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_CONTROLLER_TEST_H_
#define TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_CONTROLLER_TEST_H_

// The fixture of the heartbeat controller tests: one app's file in a private data folder
// and a date the test chooses.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>

#include "app/heartbeat/date_provider.h"
#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/tests/heartbeat_file_test.h"

namespace nimbus {
namespace heartbeat {
namespace testing {

constexpr int kWaitMs = 10000;
constexpr char kKey[] = "com.example.app";
constexpr char kAgent[] = "tervala-test/1.0";

// A date the test chooses; read on the controller's worker.
class FakeDateProvider : public DateProvider {
 public:
  explicit FakeDateProvider(std::string date) : date_(std::move(date)) {}
  void Set(std::string date) {
    std::lock_guard<std::mutex> lock(mutex_);
    date_ = std::move(date);
  }
  std::string GetDate() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return date_;
  }

 private:
  mutable std::mutex mutex_;
  std::string date_;
};

class HeartbeatControllerTest : public HeartbeatFileTest {
 protected:
  HeartbeatControllerTest() : HeartbeatFileTest(kKey) {}

  std::string FilePath() const {
    return home_.path() + "/nimbus-heartbeat/heartbeats-comexampleapp";
  }

  // Logs and waits for the worker to finish.
  static void LogAndWait(HeartbeatController& controller) {
    controller.LogHeartbeat();
    ASSERT_TRUE(controller.WaitUntilIdle(kWaitMs));
  }

  FakeDateProvider date_{"2025-01-01"};
};

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_CONTROLLER_TEST_H_
