// Kills a process that keeps rewriting the heartbeat file at random moments, many times,
// and checks that the file always holds a complete record.

#include <flatbuffers/flatbuffers.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/logged_heartbeats_generated.h"
#include "app/heartbeat/tests/test_data_home.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::ListFolder;
using testing::LogCapture;
using testing::ReadFileBytes;
using testing::TestDataHome;

constexpr char kKey[] = "crash.test";

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

// Runs in the child: writes records first + 1, first + 2, ... until killed. Says on
// `ready_fd` when the first is written, so that the random moment of the kill falls among
// the writes and not in the start-up of the process (slow under sanitizers).
[[noreturn]] void WriteForever(int first, int ready_fd) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  alarm(10);  // never outlive a test that went wrong
  HeartbeatStorage storage(kKey, nullptr);
  for (int n = first + 1;; ++n) {
    if (!storage.Write(MakeRecord(n))) _exit(3);
    if (n == first + 1 && write(ready_fd, "r", 1) != 1) _exit(4);
  }
}

TEST(CrashSafetyTest, KilledWritersLeaveACompleteRecord) {
  TestDataHome home;
  LogCapture log;
  const std::string path = home.path() + "/nimbus-heartbeat/heartbeats-crashtest";
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<long> delay_ns(0, 10'000'000);

  int last = 0;
  int rounds = 0;
  int killed_mid_write = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (rounds < 400 && std::chrono::steady_clock::now() < deadline) {
    ++rounds;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) WriteForever(last, ready[1]);
    close(ready[1]);
    char byte;
    const bool started = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    const timespec delay = {0, delay_ns(random)};
    nanosleep(&delay, nullptr);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(started && WIFSIGNALED(status)) << "the writer failed with status " << status;

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
      std::filesystem::remove(folder + "/" + name);
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
