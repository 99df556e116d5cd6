// Heartbeat storage cases of Windows: a write that fails at its last step because another
// program holds the file open without letting it be replaced.
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

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
