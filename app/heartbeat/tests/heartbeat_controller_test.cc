#include "app/heartbeat/heartbeat_controller.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/heartbeat/tests/heartbeat_file_test.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/library_registry.h"
#include "app/tests/unprivileged_child.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::LogCapture;
using testing::ReadFileBytes;
using testing::Record;

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

class HeartbeatControllerTest : public testing::HeartbeatFileTest {
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

TEST_F(HeartbeatControllerTest, LogsOncePerDay) {
  HeartbeatController controller(kKey, &logger_, date_);
  controller.LogHeartbeat();
  LogAndWait(controller);
  EXPECT_EQ(Stored(), Record("2025-01-01", {{kAgent, {"2025-01-01"}}}));

  // Later the same day the task stops before reading: a record written meanwhile stays as
  // it is, even under a new user agent.
  const LoggedHeartbeats other = Record("2024-12-31", {{"other/1", {"2024-12-31"}}});
  Store(other);
  App::RegisterLibrary("tervala-extra", "2.0");
  LogAndWait(controller);
  EXPECT_EQ(Stored(), other);

  // The next day appends the date under the current agent.
  date_.Set("2025-01-02");
  LogAndWait(controller);
  EXPECT_EQ(Stored(),
            Record("2025-01-02", {{"other/1", {"2024-12-31"}},
                                  {"tervala-extra/2.0 tervala-test/1.0", {"2025-01-02"}}}));
}

TEST_F(HeartbeatControllerTest, KeepsTheLatestThirtyDatesPerAgent) {
  Store(Record("2024-12-31", {{kAgent, std::vector<std::string>(35, "2024-01-01")}}));
  HeartbeatController controller(kKey, &logger_, date_);
  std::vector<std::string> expected;
  for (int day = 1; day <= 31; ++day) {
    char date[16];
    std::snprintf(date, sizeof(date), "2025-01-%02d", day);
    date_.Set(date);
    LogAndWait(controller);
    expected.push_back(date);
  }
  expected.erase(expected.begin());
  EXPECT_EQ(Stored(), Record("2025-01-31", {{kAgent, expected}}));
}

TEST_F(HeartbeatControllerTest, AdoptsTodayFromAnotherProcess) {
  const LoggedHeartbeats theirs = Record("2025-01-01", {{"other/1", {"2025-01-01"}}});
  Store(theirs);
  HeartbeatController controller(kKey, &logger_, date_);
  LogAndWait(controller);
  EXPECT_EQ(Stored(), theirs);

  // The adopted date holds for the rest of the day without reading the file again.
  const LoggedHeartbeats cleared = Record("", {});
  Store(cleared);
  LogAndWait(controller);
  EXPECT_EQ(Stored(), cleared);
}

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

TEST_F(HeartbeatControllerTest, ConcurrentCallersLogOneDate) {
  HeartbeatController controller(kKey, &logger_, date_);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&controller] {
      for (int j = 0; j < 20; ++j) controller.LogHeartbeat();
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(controller.WaitUntilIdle(kWaitMs));
  EXPECT_EQ(Stored(), Record("2025-01-01", {{kAgent, {"2025-01-01"}}}));
}

TEST_F(HeartbeatControllerTest, NothingRunsAfterShutdown) {
  auto controller = std::make_unique<HeartbeatController>(kKey, &logger_, date_);
  controller->Shutdown();
  controller->LogHeartbeat();
  EXPECT_FALSE(controller->WaitUntilIdle(50));
  EXPECT_EQ(controller->TakeStoredHeartbeatsPayload(), "");
  EXPECT_EQ(controller->TakeTodaysHeartbeatAgent(), "");
  controller.reset();
  EXPECT_EQ(ReadFileBytes(FilePath()), "");
}

TEST_F(HeartbeatControllerTest, ReportsStorageFailuresThroughItsLogger) {
  LogCapture log;
  // A folder where the file should be: reading fails, nothing is written, and the failure
  // is logged by the storage.
  std::filesystem::create_directories(FilePath());
  HeartbeatController controller(kKey, &logger_, date_);
  LogAndWait(controller);
  EXPECT_EQ(log.Messages(kLogLevelError),
            (std::vector<std::string>{"Unable to open '" + FilePath() + "'.",
                                      "Unable to open '" + FilePath() + "' for reading."}));
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

TEST(DateProviderImplTest, GivesTodaysUtcDate) {
  const auto utc_date = [] {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[16];
    std::strftime(text, sizeof(text), "%Y-%m-%d", &utc);
    return std::string(text);
  };
  const std::string before = utc_date();
  const std::string date = DateProviderImpl().GetDate();
  const std::string after = utc_date();
  EXPECT_TRUE(std::regex_match(date, std::regex(R"(\d{4}-\d{2}-\d{2})"))) << date;
  EXPECT_TRUE(date == before || date == after) << date;
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
