#ifndef TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_REQUEST_TEST_H_
#define TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_REQUEST_TEST_H_

// The fixture of the tests of the heartbeat request functions: a controller over one app's
// file in a private data folder, a date that can be held and a request clock the test moves.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
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
constexpr char kRequestKey[] = "payload.app";
constexpr char kAgent[] = "tervala-test/1.0";

// A date the test chooses. When held, the worker's request for the date blocks until the
// test lets go, which keeps the worker busy past a request's time-out.
class HoldableDateProvider : public DateProvider {
 public:
  void Set(std::string date) {
    std::lock_guard<std::mutex> lock(mutex_);
    date_ = std::move(date);
  }
  void Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      held_ = false;
    }
    changed_.notify_all();
  }
  std::string GetDate() const override {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(10), [this] { return !held_; });
    return date_;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool held_ = false;
  std::string date_ = "2025-01-01";
};

class HeartbeatRequestTest : public HeartbeatFileTest {
 protected:
  HeartbeatRequestTest() : HeartbeatFileTest(kRequestKey) {}

  void LogAndWait() {
    controller_.LogHeartbeat();
    ASSERT_TRUE(controller_.WaitUntilIdle(kWaitMs));
  }
  // Moves the request clock on.
  void Advance(int64_t seconds) { now_ += seconds; }

  // The payload, asking once more when a slow machine made the request time out: the
  // worker then keeps what it took for the next request.
  std::string TakePayloadPatiently() {
    std::string payload = controller_.TakeStoredHeartbeatsPayload();
    if (payload.empty()) {
      EXPECT_TRUE(controller_.WaitUntilIdle(kWaitMs));
      Advance(30);
      payload = controller_.TakeStoredHeartbeatsPayload();
    }
    return payload;
  }

  HoldableDateProvider date_;
  std::atomic<int64_t> now_{1'000'000};
  HeartbeatController controller_{kRequestKey, &logger_, date_, [this] { return now_.load(); }};
};

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_HEARTBEAT_REQUEST_TEST_H_
