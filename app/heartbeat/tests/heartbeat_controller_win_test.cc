// Heartbeat controller cases of Windows: a write that fails because another program holds
// the file open without letting it be replaced.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/platform_files.h"
#include "app/heartbeat/tests/heartbeat_controller_test.h"
#include "app/heartbeat/tests/test_data_home.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::HeartbeatControllerTest;
using testing::kAgent;
using testing::kKey;
using testing::kWaitMs;
using testing::ListFolder;
using testing::ReadFileBytes;
using testing::Record;

TEST_F(HeartbeatControllerTest, RetriesAWriteAnotherProgramBlocked) {
  HeartbeatController controller(kKey, &logger_, date_);
  ASSERT_EQ(ReadFileBytes(FilePath()), "");

  // Shared for reading and writing but not for deletion: the file can be read, not replaced.
  const HANDLE holder =
      CreateFileW(Utf8ToNative(FilePath()).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  controller.LogHeartbeat();
  const bool idle = controller.WaitUntilIdle(kWaitMs);
  CloseHandle(holder);
  ASSERT_TRUE(idle);
  EXPECT_EQ(ReadFileBytes(FilePath()), "");
  // The temporary file of the failed write is gone.
  EXPECT_EQ(ListFolder(home_.path() + "/nimbus-heartbeat"),
            std::vector<std::string>{"heartbeats-comexampleapp"});

  // The date was not taken as logged, so the next task writes it.
  LogAndWait(controller);
  EXPECT_EQ(Stored(), Record("2025-01-01", {{kAgent, {"2025-01-01"}}}));
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
