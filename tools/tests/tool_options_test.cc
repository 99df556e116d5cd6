// Every built tool answers --version with the project's version and --help with its usage.

#include <gtest/gtest.h>

#include <string>

#include "tervala_version.h"
#include "tools/tests/tool_run.h"

namespace {

using tervala::tools_testing::RunBuiltTool;
using tervala::tools_testing::ToolRun;
using tervala::tools_testing::WithUnixLineEnds;

// Runs `tool` with one argument. nimbus-config writes text, with Windows line ends there.
ToolRun RunTool(const std::string& tool, const std::string& argument) {
  ToolRun run = RunBuiltTool(tool, {argument});
  run.out = WithUnixLineEnds(run.out);
  return run;
}

TEST(ToolOptions, EveryToolPrintsTheProjectVersionAndItsUsage) {
  const struct {
    const char* name;
    const char* path;
  } tools[] = {{"tervala-codec", TERVALA_CODEC_TOOL},
               {"nimbus-config", NIMBUS_CONFIG_TOOL},
               {"tervala-heartbeat", TERVALA_HEARTBEAT_TOOL}};
  for (const auto& tool : tools) {
    SCOPED_TRACE(tool.name);
    const ToolRun version = RunTool(tool.path, "--version");
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, std::string(tool.name) + " " TERVALA_VERSION_TEXT "\n");

    const ToolRun help = RunTool(tool.path, "--help");
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind(std::string("usage: ") + tool.name, 0), 0u) << help.out;
    EXPECT_NE(help.out.find(std::string(tool.name) + " --version | --help\n"), std::string::npos)
        << help.out;
  }
}

}  // namespace
