// The heartbeat storage on a full and on a read-only file system: writes fail, the record
// already on disk survives, and nothing is left behind. Each case runs in a child process
// with a private mount namespace holding a small tmpfs as the data folder; where mounts are
// not allowed (no privilege), the cases are skipped.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/tests/test_data_home.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::ListFolder;
using testing::LogCapture;
using testing::TestDataHome;

constexpr char kSkipped[] = "skipped: ";

// Runs `body` in a child process in which a fresh tmpfs mounted with `options` covers
// `folder`. Returns what `body` returns ("" for success, else what went wrong), or the
// reason it could not run, starting with kSkipped.
std::string RunOnTmpfs(const std::string& folder, const char* options,
                       const std::function<std::string()>& body) {
  int channel[2];
  if (pipe(channel) != 0) return "no pipe";
  const pid_t child = fork();
  if (child < 0) return "no fork";
  if (child == 0) {
    close(channel[0]);
    std::string result;
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", folder.c_str(), "tmpfs", 0, options) != 0) {
      result = std::string(kSkipped) + "no permission to mount a tmpfs";
    } else {
      result = body();
    }
    const ssize_t written = write(channel[1], result.data(), result.size());
    _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
  }
  close(channel[1]);
  std::string result;
  char buffer[256];
  ssize_t n;
  while ((n = read(channel[0], buffer, sizeof(buffer))) > 0) result.append(buffer, n);
  close(channel[0]);
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "the child process failed: " + result;
  }
  return result;
}

LoggedHeartbeats SmallRecord() {
  LoggedHeartbeats record;
  record.last_logged_date = "2025-01-03";
  record.heartbeats["Tervala/2.1"] = {"2025-01-01", "2025-01-03"};
  return record;
}

// A record of about 20 KiB.
LoggedHeartbeats LargeRecord() {
  LoggedHeartbeats record;
  record.last_logged_date = "2025-02-01";
  for (int i = 0; i < 400; ++i) record.heartbeats["agent " + std::to_string(i)] = {"2025-02-01"};
  return record;
}

class StorageFaultsTest : public ::testing::Test {
 protected:
  // Runs `body` on a tmpfs over the data folder; skips the test where that is impossible.
  void RunOnTmpfs(const char* options, const std::function<std::string()>& body) {
    const std::string result = heartbeat::RunOnTmpfs(home_.path(), options, body);
    if (result.starts_with(kSkipped)) GTEST_SKIP() << result;
    EXPECT_EQ(result, "");
  }

  std::string Folder() const { return home_.path() + "/nimbus-heartbeat"; }

  TestDataHome home_;
  LogCapture log_;
  Logger logger_{&GetSystemLogger()};
};

TEST_F(StorageFaultsTest, FullFileSystemKeepsThePreviousRecord) {
  // Two pages: room for the small record, not for the large one beside it.
  RunOnTmpfs("size=8k", [&]() -> std::string {
    HeartbeatStorage storage("app", &logger_);
    if (!storage.Write(SmallRecord())) return "the small record was not written";
    if (storage.Write(LargeRecord())) return "a write to a full file system succeeded";
    LoggedHeartbeats read;
    if (!storage.ReadTo(&read) || !(read == SmallRecord())) return "the record was lost";
    if (ListFolder(Folder()) != std::vector<std::string>{"heartbeats-app"}) {
      return "a temporary file was left behind";
    }
    // Once there is room again, writes succeed.
    LoggedHeartbeats next = SmallRecord();
    next.last_logged_date = "2025-01-04";
    if (!storage.Write(next) || !storage.ReadTo(&read) || !(read == next)) {
      return "the storage did not recover";
    }
    return "";
  });
}

TEST_F(StorageFaultsTest, NoRoomForTheFileAtAll) {
  // Inodes for the mount's root and the folder only: the file itself cannot be made.
  RunOnTmpfs("size=8k,nr_inodes=2", [&]() -> std::string {
    HeartbeatStorage storage("app", &logger_);
    LoggedHeartbeats read = SmallRecord();
    if (storage.ReadTo(&read) || !(read == SmallRecord())) return "a missing file was read";
    if (storage.Write(SmallRecord())) return "a write without room succeeded";
    const std::string path = Folder() + "/heartbeats-app";
    const std::vector<std::string> expected = {"Unable to open '" + path + "'.",
                                               "Unable to open '" + path + "' for reading.",
                                               "Unable to open '" + path + "' for writing."};
    if (log_.Messages(kLogLevelError) != expected) return "unexpected messages";
    return "";
  });
}

TEST_F(StorageFaultsTest, ReadOnlyFileSystemKeepsTheRecordReadable) {
  RunOnTmpfs("size=64k", [&]() -> std::string {
    {
      HeartbeatStorage storage("app", &logger_);
      if (!storage.Write(SmallRecord())) return "the record was not written";
    }
    if (mount(nullptr, home_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
      return "cannot remount read-only";
    }
    // A new storage over the read-only folder: it cannot touch its file, but still reads it.
    HeartbeatStorage storage("app", &logger_);
    LoggedHeartbeats read;
    if (!storage.ReadTo(&read) || !(read == SmallRecord())) return "the record was not readable";
    LoggedHeartbeats next = SmallRecord();
    next.last_logged_date = "2025-01-04";
    if (storage.Write(next)) return "a write to a read-only file system succeeded";
    if (!storage.ReadTo(&read) || !(read == SmallRecord())) return "the record changed";
    const std::string path = Folder() + "/heartbeats-app";
    const std::vector<std::string> expected = {"Unable to open '" + path + "'.",
                                               "Unable to open '" + path + "' for writing."};
    if (log_.Messages(kLogLevelError) != expected) return "unexpected messages";
    return "";
  });
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
