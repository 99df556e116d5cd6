// Kills a process that keeps rewriting the heartbeat file at random moments, many times,
// and checks that the file always holds a complete record.

#include <flatbuffers/flatbuffers.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/logged_heartbeats_generated.h"
#include "app/heartbeat/platform_files.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "platform/test_support/child_process.h"
#include "platform/test_support/environment.h"
#include "platform/test_support/paths.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::ListFolder;
using testing::LogCapture;
using testing::ReadFileBytes;
using testing::TestDataHome;

constexpr char kKey[] = "crash.test";
// Set for the writer: this test program, started again, runs WriteForever in the test's
// place. Its value is "<number of the last record written>;<data folder>".
constexpr char kWriterVariable[] = "TERVALA_CRASH_TEST_WRITER";

// Record number `n`: large enough (some 40 KB) that a write takes several system calls, and
// every part of it tells `n`, so a record mixed from two writes is recognised.
LoggedHeartbeats MakeRecord(int n) {
  LoggedHeartbeats record;
  record.last_logged_date = std::to_string(n);
  for (int agent = 0; agent < 60; ++agent) {
    std::vector<std::string>& dates =
        record.heartbeats["agent " + std::to_string(agent) + " of record " + std::to_string(n)];
    for (int day = 0; day < 30; ++day)
      dates.push_back(std::to_string(n) + "-" + std::to_string(day));
  }
  return record;
}

// Runs in the child: writes records first + 1, first + 2, ... into `folder` until killed.
// Says "writer-ready" on its standard output when the first is written, so that the random
// moment of the kill falls among the writes and not in the start-up of the process (slow
// under sanitizers and under Wine).
[[noreturn]] void WriteForever(int first, const std::string& folder) {
  // Never outlive a test that went wrong.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::seconds(10));
    std::_Exit(5);
  }).detach();
  SetLocalAppDataFolder(folder);
  HeartbeatStorage storage(kKey, nullptr);
  for (int n = first + 1;; ++n) {
    if (!storage.Write(MakeRecord(n))) std::_Exit(3);
    if (n == first + 1) {
      std::fputs("writer-ready", stdout);
      std::fflush(stdout);
    }
  }
}

// Starts the writer and waits until it has written its first record. False when it ended
// before.
bool StartWriter(int last, const std::string& folder,
                 std::optional<tervala_testing::ChildProcess>* writer) {
  tervala_testing::ChildOptions options;
  options.environment = {{kWriterVariable, std::to_string(last) + ";" + folder}};
  writer->emplace(
      tervala_testing::PathToUtf8(tervala_testing::CurrentExecutable()),
      std::vector<std::string>{"--gtest_filter=CrashSafetyTest.KilledWritersLeaveACompleteRecord"},
      options);
  while ((*writer)->Running()) {
    if ((*writer)->StandardOutput().find("writer-ready") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

TEST(CrashSafetyTest, KilledWritersLeaveACompleteRecord) {
  if (const auto writer = tervala_testing::EnvironmentValue(kWriterVariable)) {
    const size_t separator = writer->find(';');
    WriteForever(std::stoi(writer->substr(0, separator)), writer->substr(separator + 1));
  }
  TestDataHome home;
  LogCapture log;
  const std::string path = home.path() + "/nimbus-heartbeat/heartbeats-crashtest";
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<long> delay_ns(0, 10'000'000);

  int last = 0;
  int rounds = 0;
  int killed_mid_write = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (rounds < 400 && (rounds < 20 || std::chrono::steady_clock::now() < deadline)) {
    ++rounds;
    std::optional<tervala_testing::ChildProcess> writer;
    ASSERT_TRUE(StartWriter(last, home.path(), &writer))
        << "the writer did not start: " << writer->start_error() << writer->StandardError();
    std::this_thread::sleep_for(std::chrono::nanoseconds(delay_ns(random)));
    ASSERT_TRUE(writer->Running()) << "the writer failed: " << writer->StandardError();
    writer->Kill();

    // The bytes verify on their own, not only through the storage.
    const std::string bytes = ReadFileBytes(path);
    flatbuffers::Verifier verifier(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(VerifyLoggedHeartbeatsTableBuffer(verifier))
        << "round " << rounds << ": " << bytes.size() << " bytes";

    HeartbeatStorage storage(kKey, nullptr);
    LoggedHeartbeats read;
    ASSERT_TRUE(storage.ReadTo(&read));
    const int n = std::stoi(read.last_logged_date);
    ASSERT_GT(n, last) << "round " << rounds;
    ASSERT_EQ(read, MakeRecord(n)) << "round " << rounds;
    // Temporary files left by this kill: the writer died between creating and renaming.
    const std::string folder = home.path() + "/nimbus-heartbeat";
    for (const std::string& name : ListFolder(folder)) {
      if (name == "heartbeats-crashtest") continue;
      ++killed_mid_write;
      std::filesystem::remove(tervala_testing::PathFromUtf8(folder + "/" + name));
    }
    last = n;
  }
  EXPECT_TRUE(log.all().empty());
  RecordProperty("rounds", rounds);
  RecordProperty("records_written", last);
  std::printf("%d rounds, %d records written, %d kills in the middle of a write\n", rounds, last,
              killed_mid_write);
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
