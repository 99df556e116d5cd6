// Heartbeat storage cases that need POSIX: a file size limit on a child process, the
// 255-byte limit of file names, and the FlatBuffers compiler of the build machine.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/tests/heartbeat_storage_test.h"
#include "app/heartbeat/tests/test_data_home.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::HeartbeatStorageTest;
using testing::IsRegularFile;
using testing::ListFolder;
using testing::ReadFileBytes;
using testing::TwoAgents;
using testing::WriteFileBytes;

// A write that fails part-way (here: the file size limit, as a full disk would) leaves the
// previous record in place and no temporary file behind.
TEST_F(HeartbeatStorageTest, FailedWriteKeepsThePreviousRecord) {
  HeartbeatStorage storage("app", &logger_);
  ASSERT_TRUE(storage.Write(TwoAgents()));
  LoggedHeartbeats large;
  large.last_logged_date = "2025-02-01";
  for (int i = 0; i < 100; ++i) large.heartbeats["agent " + std::to_string(i)] = {"2025-02-01"};

  // In a child process, so that the limit binds nothing else.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {256, 256};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(storage.Write(large) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";

  LoggedHeartbeats read;
  ASSERT_TRUE(storage.ReadTo(&read));
  EXPECT_EQ(read, TwoAgents());
  EXPECT_EQ(ListFolder(Folder()), std::vector<std::string>{"heartbeats-app"});
}

// A key whose file name just fits the 255-byte limit is still written: the temporary file
// takes a shortened name (cut on a character boundary), which stale-file removal knows.
TEST_F(HeartbeatStorageTest, LongestKeysAreWrittenAndTheirTemporaryFilesKnown) {
  const std::string key = std::string(232, 'k') + "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
  ASSERT_EQ(("heartbeats-" + key).size(), 251u);
  std::filesystem::create_directories(Folder());
  // The shortened name keeps the whole characters of the first 244 bytes: 243 here.
  const std::string stale = Folder() + "/heartbeats-" + key.substr(0, 232) + ".tmp-aB3xY9";
  WriteFileBytes(stale, "partial");
  std::filesystem::last_write_time(
      stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));

  HeartbeatStorage storage(key, &logger_);
  storage.RemoveStaleTemporaryFiles();
  EXPECT_FALSE(IsRegularFile(stale));
  ASSERT_TRUE(storage.Write(TwoAgents()));
  LoggedHeartbeats read;
  ASSERT_TRUE(storage.ReadTo(&read));
  EXPECT_EQ(read, TwoAgents());
  EXPECT_EQ(ListFolder(Folder()), std::vector<std::string>{"heartbeats-" + key});
}

// The file can be inspected with the FlatBuffers compiler and the schema in the repo.
TEST_F(HeartbeatStorageTest, FlatcDumpsTheFileAsJson) {
  if (access(TERVALA_FLATC, X_OK) != 0) GTEST_SKIP() << "flatc is not installed";
  HeartbeatStorage storage("app", &logger_);
  LoggedHeartbeats record;
  record.last_logged_date = "2025-01-02";
  record.heartbeats["Tervala/1.0"] = {"2025-01-01", "2025-01-02"};
  ASSERT_TRUE(storage.Write(record));

  const std::string command = std::string(TERVALA_FLATC) +
                              " --json --raw-binary --strict-json -o '" + home_.path() + "' '" +
                              TERVALA_HEARTBEAT_SCHEMA + "' -- '" + PathOf("app") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(ReadFileBytes(home_.path() + "/heartbeats-app.json"),
            "{\n"
            "  \"last_logged_date\": \"2025-01-02\",\n"
            "  \"heartbeats\": [\n"
            "    {\n"
            "      \"user_agent\": \"Tervala/1.0\",\n"
            "      \"dates\": [\n"
            "        \"2025-01-01\",\n"
            "        \"2025-01-02\"\n"
            "      ]\n"
            "    }\n"
            "  ]\n"
            "}\n");
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
