// The fixture of the tervala-heartbeat tests: a private data folder and the tool run in
// this process or as the built program.
#ifndef TERVALA_TOOLS_TESTS_HEARTBEAT_TOOL_TEST_H_
#define TERVALA_TOOLS_TESTS_HEARTBEAT_TOOL_TEST_H_

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "tools/heartbeat/heartbeat_tool.h"
#include "tools/tests/tool_run.h"

namespace tervala::tools_testing {

inline ToolRun RunInProcess(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  ToolRun run;
  run.exit_code = tervala::heartbeat_tool::RunHeartbeatTool(args, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

// `path` as the tool lists it: a backslash (Windows' separator) is written doubled, as the
// tool escapes it.
inline std::string Listed(const std::string& path) {
  std::string listed;
  for (char c : path) {
    listed += c;
    if (c == '\\') listed += c;
  }
  return listed;
}

class HeartbeatToolTest : public ::testing::Test {
 protected:
  std::string FilePath(const std::string& name) const {
    return home_.path() + "/nimbus-heartbeat/heartbeats-" + name;
  }
  // Writes `record` as the app would, under the key `name`; returns the file's path.
  std::string Store(const std::string& name, const nimbus::heartbeat::LoggedHeartbeats& record) {
    EXPECT_TRUE(nimbus::heartbeat::HeartbeatStorage(name, nullptr).Write(record));
    return FilePath(name);
  }
  // Runs the built tool with the test's data folder.
  ToolRun RunBuiltTool(const std::vector<std::string>& args) const {
    tervala_testing::ChildOptions options;
    options.environment = {{"TERVALA_DATA_DIR", home_.path()}};
    return tools_testing::RunBuiltTool(TERVALA_HEARTBEAT_TOOL, args, options);
  }

  nimbus::heartbeat::testing::TestDataHome home_;
};

}  // namespace tervala::tools_testing

#endif  // TERVALA_TOOLS_TESTS_HEARTBEAT_TOOL_TEST_H_
