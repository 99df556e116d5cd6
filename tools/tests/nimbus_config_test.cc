// Runs the built nimbus-config tool in temporary directories and checks its output.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tests/config_test_support.h"
#include "tools/tests/tool_run.h"

namespace {

using nimbus::testing::TempDir;

constexpr char kConfig[] = R"({
  "project_info": {"project_number": "42", "nimbus_url": "https://db.example",
                   "project_id": "proj", "storage_bucket": "bucket", "unknown": 1},
  "client": [{"client_info": {"mobile_app_id": "1:42:app",
                              "platform_client_info": {"package_name": "com.example"}},
              "api_key": [{"current_key": "key"}],
              "services": {"analytics_service": {"analytics_property": {"tracking_id": "UA-9"}}}}]
})";

constexpr char kConfigJson[] =
    R"({"package_name":"com.example","api_key":"key","app_id":"1:42:app",)"
    R"("database_url":"https://db.example","tracking_id":"UA-9","messaging_sender_id":"42",)"
    R"("storage_bucket":"bucket","project_id":"proj"})"
    "\n";

using tervala::tools_testing::RunBuiltTool;
using tervala::tools_testing::ToolRun;
using tervala::tools_testing::WithUnixLineEnds;

// Runs the tool with `args` in `dir`. Its output is text, with Windows line ends there.
ToolRun RunTool(const TempDir& dir, const std::vector<std::string>& args) {
  tervala_testing::ChildOptions options;
  options.working_directory = dir.path();
  ToolRun run = RunBuiltTool(NIMBUS_CONFIG_TOOL, args, options);
  run.out = WithUnixLineEnds(run.out);
  return run;
}

TEST(NimbusConfigTool, PrintsTheOptionsOfAFile) {
  TempDir dir;
  dir.Write("my config.json", kConfig);
  const ToolRun run = RunTool(dir, {"my config.json"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, kConfigJson);
  EXPECT_EQ(run.err, "");
}

TEST(NimbusConfigTool, LoadsTheDefaultFilesOfTheCurrentDirectory) {
  TempDir dir;
  dir.Write("nimbus-services.json", kConfig);
  const ToolRun run = RunTool(dir, {});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, kConfigJson);
}

TEST(NimbusConfigTool, WarningsGoToStandardError) {
  TempDir dir;
  dir.Write("c.json", R"({"project_info": {"project_id": "p\"\\\u00e9\u0001"},
    "client": [{"client_info": {"mobile_app_id": "a",
                                "platform_client_info": {"package_name": "x"}},
                "api_key": [{"current_key": "k"}]}]})");
  const ToolRun run = RunTool(dir, {"c.json"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, R"({"package_name":"x","api_key":"k","app_id":"a","database_url":"",)"
                     R"("tracking_id":"","messaging_sender_id":"","storage_bucket":"",)"
                     R"("project_id":"p\"\\\u00E9\u0001"})"
                     "\n");
  EXPECT_EQ(run.err,
            "WARNING: Database URL not set in the Nimbus config.\n"
            "WARNING: Storage bucket not set in the Nimbus config.\n");
}

TEST(NimbusConfigTool, FailuresExitWithOne) {
  TempDir dir;
  ToolRun run = RunTool(dir, {});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "ERROR: Unable to load Nimbus app options ([nimbus-services-desktop.json, "
            "nimbus-services.json] are missing or malformed)\n");

  run = RunTool(dir, {"absent.json"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("absent.json cannot be opened"), std::string::npos) << run.err;

  dir.Write("broken.json", "{");
  run = RunTool(dir, {"broken.json"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(run.err.starts_with("ERROR: Failed to parse Nimbus config: ")) << run.err;

  run = RunTool(dir, {"a", "b"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(run.err.starts_with("usage: nimbus-config [FILE]")) << run.err;
}

}  // namespace
