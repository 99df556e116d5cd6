// Heartbeat storage cases of Windows: a write that fails at its last step because another
// program holds the file open, and paths longer than the classic limit.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/platform_files.h"
#include "app/heartbeat/tests/heartbeat_storage_test.h"
#include "app/heartbeat/tests/test_data_home.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::HeartbeatStorageTest;
using testing::ListFolder;
using testing::TwoAgents;

TEST_F(HeartbeatStorageTest, AWriteThatCannotReplaceTheFileKeepsThePreviousRecord) {
  HeartbeatStorage storage("app", &logger_);
  ASSERT_TRUE(storage.Write(TwoAgents()));
  LoggedHeartbeats next = TwoAgents();
  next.last_logged_date = "2025-01-04";

  // Shared for reading and writing but not for deletion: the file can be read, not replaced.
  const HANDLE holder =
      CreateFileW(Utf8ToNative(PathOf("app")).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const bool written = storage.Write(next);
  LoggedHeartbeats read;
  const bool read_while_held = storage.ReadTo(&read);
  CloseHandle(holder);

  EXPECT_FALSE(written);
  EXPECT_TRUE(read_while_held);
  EXPECT_EQ(read, TwoAgents());
  EXPECT_EQ(ListFolder(Folder()), std::vector<std::string>{"heartbeats-app"});
  // Once the file is free again, writes succeed.
  ASSERT_TRUE(storage.Write(next));
  ASSERT_TRUE(storage.ReadTo(&read));
  EXPECT_EQ(read, next);
}

// A reader that shares read, write and delete: where the system can rename over an open file
// (Windows 10 on NTFS) the write replaces it, else (Wine) it fails; either way the file holds
// one whole record and no temporary file stays behind.
TEST_F(HeartbeatStorageTest, AWriteBesideAReaderThatSharesEverythingLosesNothing) {
  HeartbeatStorage storage("app", &logger_);
  ASSERT_TRUE(storage.Write(TwoAgents()));
  LoggedHeartbeats next = TwoAgents();
  next.last_logged_date = "2025-01-04";

  const HANDLE reader = CreateFileW(Utf8ToNative(PathOf("app")).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  const bool written = storage.Write(next);
  LoggedHeartbeats read;
  const bool read_while_held = storage.ReadTo(&read);
  CloseHandle(reader);

  EXPECT_TRUE(read_while_held);
  EXPECT_EQ(read, written ? next : TwoAgents());
  EXPECT_EQ(ListFolder(Folder()), std::vector<std::string>{"heartbeats-app"});
}

// The extended-length form of an absolute path, made here rather than by the code tested.
std::wstring Extended(const std::string& path) {
  std::wstring native = L"\\\\?\\" + Utf8ToNative(path);
  for (wchar_t& c : native) {
    if (c == L'/') c = L'\\';
  }
  return native;
}

// The folder is more than 260 characters deep: the folders, the file and its temporary file
// are all reached through extended-length paths.
TEST_F(HeartbeatStorageTest, WritesUnderAFolderDeeperThanTheClassicLimit) {
  std::string deep = home_.path();
  while (deep.size() < 300) {
    deep += "/a-folder-name-of-forty-characters-000000";
    ASSERT_TRUE(CreateDirectoryW(Extended(deep).c_str(), nullptr)) << deep;
  }
  SetLocalAppDataFolder(deep);
  {
    HeartbeatStorage storage("app", &logger_);
    EXPECT_GT(storage.filename().size(), 300u);
    ASSERT_TRUE(storage.Write(TwoAgents()));
    ASSERT_TRUE(storage.Write(TwoAgents()));  // now over an existing file
    LoggedHeartbeats read;
    ASSERT_TRUE(storage.ReadTo(&read));
    EXPECT_EQ(read, TwoAgents());
  }
  SetLocalAppDataFolder(home_.path());
  const DWORD attributes =
      GetFileAttributesW(Extended(deep + "/nimbus-heartbeat/heartbeats-app").c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(log_.Messages(kLogLevelError).empty());
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
