// tervala-heartbeat with file names only POSIX allows: control characters and backslashes.
#include <gtest/gtest.h>

#include <string>

#include "app/heartbeat/logged_heartbeats.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "tools/tests/heartbeat_tool_test.h"

namespace {

using nimbus::heartbeat::LoggedHeartbeats;
using nimbus::heartbeat::testing::WriteFileBytes;
using tervala::tools_testing::HeartbeatToolTest;
using tervala::tools_testing::RunInProcess;
using tervala::tools_testing::ToolRun;

TEST_F(HeartbeatToolTest, EscapesControlCharactersAndBackslashesInFileNames) {
  const std::string empty = "\t{\"last_logged_date\":\"\",\"heartbeats\":{}}\n";
  Store("x", LoggedHeartbeats());
  WriteFileBytes(FilePath("a\nb\x1b[2J\\\x7f\xc2\x9b\xc3\xa9"), "");
  const ToolRun run = RunInProcess({"files"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out,
            FilePath("a\\nb\\x1b[2J\\\\\\x7f\\xc2\\x9b\xc3\xa9") + empty + FilePath("x") + empty);
}

}  // namespace
