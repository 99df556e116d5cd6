// Heartbeat controller cases that need POSIX process limits: a file size limit that makes
// a write fail, and no thread to be had.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <optional>

#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/tests/heartbeat_controller_test.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/tests/unprivileged_child.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::HeartbeatControllerTest;
using testing::kAgent;
using testing::kKey;
using testing::kWaitMs;
using testing::ReadFileBytes;
using testing::Record;

TEST_F(HeartbeatControllerTest, RetriesAFailedWrite) {
  HeartbeatController controller(kKey, &logger_, date_);
  ASSERT_EQ(ReadFileBytes(FilePath()), "");

  // Files of this process cannot grow past 16 bytes for a moment: the write fails.
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  controller.LogHeartbeat();
  const bool idle = controller.WaitUntilIdle(kWaitMs);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, saved_handler);
  ASSERT_TRUE(idle);
  EXPECT_EQ(ReadFileBytes(FilePath()), "");

  // The date was not taken as logged, so the next task writes it.
  LogAndWait(controller);
  EXPECT_EQ(Stored(), Record("2025-01-01", {{kAgent, {"2025-01-01"}}}));
}

// With no thread to be had (a child process with a process limit of 0, as an unprivileged
// user, which root is not held to), a controller costs its callers no wait: exit waits on
// every app's controller.
TEST_F(HeartbeatControllerTest, AWorkerThatCannotStartCostsNoWait) {
  enum Result { kNoWait = 0, kNoLimit, kWorkerStarted, kWaited };
  const std::optional<int> result = nimbus_testing::RunAsUnprivilegedChild([this] {
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_NPROC, &none) != 0) return int{kNoLimit};
    HeartbeatController controller(kKey, &logger_, date_);
    const auto start = std::chrono::steady_clock::now();
    controller.LogHeartbeat();
    if (controller.WaitUntilIdle(2000)) return int{kWorkerStarted};
    controller.TakeStoredHeartbeatsPayload();
    // Loose: the waits this replaces took 2.3 seconds.
    return int{std::chrono::steady_clock::now() - start < std::chrono::seconds(1) ? kNoWait
                                                                                  : kWaited};
  });
  if (!result || *result == kNoLimit) GTEST_SKIP() << "cannot drop root or limit processes";
  EXPECT_EQ(*result, kNoWait);
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
