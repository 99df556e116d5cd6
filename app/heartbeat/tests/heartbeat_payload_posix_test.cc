// A heartbeat request on a slow disk: the test program's own fsync, which POSIX lets it put
// in place of the C library's, makes every flush slow.
#include <gtest/gtest.h>

#include <chrono>

#include "app/heartbeat/heartbeat_payload.h"
#include "app/heartbeat/tests/heartbeat_request_test.h"
#include "app/heartbeat/tests/slow_disk.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::HeartbeatRequestTest;
using testing::kAgent;
using testing::kWaitMs;
using testing::Record;

// A disk that takes 2 seconds to flush the file does not hold up the request functions:
// they give up after their 300 milliseconds, and what the worker then took from the file is
// handed to the next request.
TEST_F(HeartbeatRequestTest, RequestsReturnInTimeOnASlowDiskAndLoseNothing) {
  using std::chrono::milliseconds;
  using std::chrono::steady_clock;
  Store(Record("2024-12-31", {{"old/1", {"2024-12-31"}}}));
  LogAndWait();

  testing::SetDiskFlushDelay(2000);
  auto start = steady_clock::now();
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), "");
  EXPECT_LT(steady_clock::now() - start, milliseconds(1500));
  ASSERT_TRUE(controller_.WaitUntilIdle(kWaitMs));
  start = steady_clock::now();
  EXPECT_EQ(controller_.TakeStoredHeartbeatsPayload(), "");
  EXPECT_LT(steady_clock::now() - start, milliseconds(1500));
  ASSERT_TRUE(controller_.WaitUntilIdle(kWaitMs));
  testing::SetDiskFlushDelay(0);
  EXPECT_EQ(Stored(), Record("2025-01-01", {}));

  Advance(30);
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), kAgent);
  EXPECT_EQ(DecodeAndUncompress(controller_.TakeStoredHeartbeatsPayload()),
            BuildHeartbeatsJson(Record("2025-01-01", {{"old/1", {"2024-12-31"}}})));
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
