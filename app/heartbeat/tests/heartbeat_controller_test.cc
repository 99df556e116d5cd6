#include "app/heartbeat/heartbeat_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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
#include "app/heartbeat/tests/file_links.h"
#include "app/heartbeat/tests/heartbeat_controller_test.h"
#include "app/heartbeat/tests/heartbeat_file_test.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/library_registry.h"
#include "platform/test_support/environment.h"
#include "platform/test_support/paths.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::FakeDateProvider;
using testing::HeartbeatControllerTest;
using testing::kAgent;
using testing::kKey;
using testing::kWaitMs;
using testing::LogCapture;
using testing::ReadFileBytes;
using testing::Record;

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

// A symbolic link in place of the app's file does not stop its heartbeats: it reads as no
// record, the heartbeat replaces it with the app's own file, and what it points to stays
// as it was.
TEST_F(HeartbeatControllerTest, ALinkInPlaceOfTheFileIsReplacedByTheNextHeartbeat) {
  const std::string outside = home_.path() + "/outside";
  std::filesystem::create_directories(
      tervala_testing::PathFromUtf8(home_.path() + "/nimbus-heartbeat"));
  testing::WriteFileBytes(outside, "not a heartbeat record");
  // Wine makes none, and Windows only with a privilege or in developer mode.
  if (!testing::MakeFileLink(outside, FilePath()) || !testing::IsFileLink(FilePath())) {
    GTEST_SKIP() << "no symbolic links can be made here";
  }
  LogCapture log;
  HeartbeatController controller(kKey, &logger_, date_);
  LogAndWait(controller);
  EXPECT_FALSE(testing::IsFileLink(FilePath()));
  EXPECT_EQ(Stored(), Record("2025-01-01", {{kAgent, {"2025-01-01"}}}));
  EXPECT_EQ(ReadFileBytes(outside), "not a heartbeat record");
  EXPECT_EQ(log.Messages(kLogLevelError), std::vector<std::string>{});
}

// The folder is read for temporary files that killed writers left on the worker, not by the
// thread that creates the app (a folder of 300000 entries took it 99 ms).
TEST_F(HeartbeatControllerTest, StaleTemporaryFilesAreRemovedOnTheWorker) {
  const std::string stale = FilePath() + ".tmp-aB3xY9";
  std::filesystem::create_directories(
      tervala_testing::PathFromUtf8(home_.path() + "/nimbus-heartbeat"));
  testing::WriteFileBytes(stale, "partial");
  std::filesystem::last_write_time(
      tervala_testing::PathFromUtf8(stale),
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  HeartbeatController controller(kKey, &logger_, date_);
  EXPECT_TRUE(testing::IsRegularFile(stale));
  LogAndWait(controller);
  EXPECT_FALSE(testing::IsRegularFile(stale));
}

// The UTC date whatever the local time zone: east and west of UTC by 14 and 12 hours (26
// hours apart, so at any moment at least one of them is on another day than UTC), the date is
// the one the C library's UTC calendar gives.
TEST(DateProviderImplTest, GivesTodaysUtcDate) {
  const auto utc_date = [] {
    const std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof(text), "%Y-%m-%d", std::gmtime(&now));
    return std::string(text);
  };
  for (const char* zone : {"XXX-14", "XXX+12"}) {
    const tervala_testing::ScopedTimeZone local_zone(zone);
    const std::string before = utc_date();
    const std::string date = DateProviderImpl().GetDate();
    const std::string after = utc_date();
    EXPECT_TRUE(std::regex_match(date, std::regex(R"(\d{4}-\d{2}-\d{2})"))) << date;
    EXPECT_TRUE(date == before || date == after) << date << " in " << zone << ", UTC " << after;
  }
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
