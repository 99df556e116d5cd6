// Heartbeat controller cases of Windows: a write that fails because another program holds
// the file open.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

// A reader that shares everything (as a second tervala_app reads its heartbeat) still keeps
// the classic rename from replacing the file. Where the system cannot rename over it
// (Wine, file systems without POSIX rename semantics), the controller tries again by itself
// once the file is free, with no further heartbeat asked for.
TEST_F(HeartbeatControllerTest, AHeartbeatBlockedByAReaderLandsOnceTheReaderLetsGo) {
  HeartbeatController controller(kKey, &logger_, date_);
  const HANDLE reader = CreateFileW(Utf8ToNative(FilePath()).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  controller.LogHeartbeat();
  const bool idle = controller.WaitUntilIdle(kWaitMs);
  CloseHandle(reader);
  ASSERT_TRUE(idle);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadFileBytes(FilePath()).empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(Stored(), Record("2025-01-01", {{kAgent, {"2025-01-01"}}}));
  EXPECT_EQ(ListFolder(home_.path() + "/nimbus-heartbeat"),
            std::vector<std::string>{"heartbeats-comexampleapp"});
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
