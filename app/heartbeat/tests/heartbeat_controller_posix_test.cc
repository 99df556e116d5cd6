// Heartbeat controller cases that need POSIX process limits (a file size limit that makes
// a write fail, no thread to be had) or a slow disk (this test program's own fsync).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/heartbeat_payload.h"
#include "app/heartbeat/tests/heartbeat_controller_test.h"
#include "app/heartbeat/tests/slow_disk.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/tests/unprivileged_child.h"

namespace nimbus {
namespace heartbeat {
namespace {

using std::chrono::seconds;
using testing::FakeDateProvider;
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

// A disk that does not answer (a flush that takes a minute, lifted by the test).
class StalledDiskTest : public HeartbeatControllerTest {
 protected:
  void SetUp() override { testing::SetDiskFlushDelay(60'000); }
  void TearDown() override { testing::SetDiskFlushDelay(0); }

  // Whether `future` is ready within a deadline no healthy run comes near.
  template <typename T>
  static bool ReadySoon(std::future<T>& future) {
    return future.wait_for(seconds(15)) == std::future_status::ready;
  }
};

// Deleting an app waits for its heartbeat at most its time-out, never for the disk: the
// task left in the disk ends later on its own, after the owner destroyed the logger and
// the date provider it lent (ASan watches), and the file is then whole.
TEST_F(StalledDiskTest, ShutdownWithinDoesNotWaitForATaskStuckInTheDisk) {
  auto logger = std::make_unique<Logger>(&GetSystemLogger());
  auto date = std::make_unique<FakeDateProvider>("2025-01-01");
  auto controller = std::make_unique<HeartbeatController>(kKey, logger.get(), *date);
  controller->LogHeartbeat();
  std::future<bool> stopped =
      std::async(std::launch::async, [&] { return controller->ShutdownWithin(500); });
  ASSERT_TRUE(ReadySoon(stopped)) << "stopping waited for the disk";
  EXPECT_FALSE(stopped.get());
  controller.reset();
  logger.reset();
  date.reset();

  testing::SetDiskFlushDelay(0);
  const auto deadline = std::chrono::steady_clock::now() + seconds(20);
  while (ReadFileBytes(FilePath()).empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Stored(), Record("2025-01-01", {{kAgent, {"2025-01-01"}}}));
}

// Process exit waits for every app's heartbeat within one deadline, not one per app.
TEST_F(StalledDiskTest, WaitingForManyControllersTakesOneTimeOut) {
  std::vector<std::shared_ptr<HeartbeatController>> controllers;
  for (int i = 0; i < 40; ++i) {
    controllers.push_back(
        std::make_shared<HeartbeatController>("app" + std::to_string(i), &logger_, date_));
    controllers.back()->LogHeartbeat();
  }
  // One time-out of 500 ms per controller would be 20 s.
  std::future<bool> waited =
      std::async(std::launch::async, [&] { return WaitUntilAllIdle(controllers, 500); });
  ASSERT_TRUE(ReadySoon(waited)) << "the wait took one time-out per controller";
  EXPECT_FALSE(waited.get());
  testing::SetDiskFlushDelay(0);
  EXPECT_TRUE(WaitUntilAllIdle(controllers, kWaitMs));
}

// Two apps whose keys name one file ("com.example.app" and "comexample.app" both lose
// their periods) work on it one at a time: while one hands the stored heartbeats out and
// clears them on a slow disk, the other's heartbeat neither brings them back (they would
// be sent twice) nor is wiped by the clearing (a day lost).
TEST_F(HeartbeatControllerTest, ControllersOfOneFileTakeTurns) {
  Store(Record("2024-12-31", {{"old/1", {"2024-12-31"}}}));
  int64_t now = 1000;
  HeartbeatController sender(kKey, &logger_, date_, [&now] { return now; });
  HeartbeatController logger("comexample.app", &logger_, date_);
  testing::SetDiskFlushDelay(1000);
  std::future<std::string> payload =
      std::async(std::launch::async, [&] { return sender.TakeStoredHeartbeatsPayload(); });
  logger.LogHeartbeat();
  std::string sent = payload.get();
  ASSERT_TRUE(sender.WaitUntilIdle(kWaitMs));
  ASSERT_TRUE(logger.WaitUntilIdle(kWaitMs));
  testing::SetDiskFlushDelay(0);
  if (sent.empty()) {
    // The request timed out on the slow disk: the worker kept the payload for the next one.
    now += 30;
    sent = sender.TakeStoredHeartbeatsPayload();
  }
  std::string everything = DecodeAndUncompress(sent);
  for (const auto& [agent, dates] : Stored().heartbeats) {
    for (const std::string& day : dates) everything += " " + day;
  }
  const auto count = [&everything](const std::string& day) {
    size_t found = 0;
    for (size_t at = everything.find(day); at != std::string::npos;
         at = everything.find(day, at + 1)) {
      ++found;
    }
    return found;
  };
  EXPECT_EQ(count("2024-12-31"), 1u) << everything;
  EXPECT_EQ(count("2025-01-01"), 1u) << everything;
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
