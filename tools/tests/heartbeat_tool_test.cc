// Tests of tervala-heartbeat, in process and as the built tool next to a real app.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/heartbeat/date_provider.h"
#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/heartbeat_payload.h"
#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "tools/heartbeat/heartbeat_tool.h"
#include "tools/tests/heartbeat_tool_test.h"
#include "tools/tests/tool_run.h"

namespace {

using nimbus::heartbeat::LoggedHeartbeats;
using nimbus::heartbeat::testing::WriteFileBytes;
using tervala::tools_testing::HeartbeatToolTest;
using tervala::tools_testing::Listed;
using tervala::tools_testing::RunInProcess;
using tervala::tools_testing::ToolRun;

LoggedHeartbeats Sample() {
  LoggedHeartbeats record;
  record.last_logged_date = "2025-01-02";
  record.heartbeats["A"] = {"2025-01-01", "2025-01-02"};
  record.heartbeats["say \"hi\"/1"] = {"2024-12-31"};
  return record;
}

TEST_F(HeartbeatToolTest, ShowsARecordAsOneLineOfJson) {
  const std::string path = Store("app", Sample());
  const ToolRun run = RunInProcess({"show", path});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            R"({"last_logged_date":"2025-01-02","heartbeats":{"A":["2025-01-01","2025-01-02"],)"
            R"("say \"hi\"/1":["2024-12-31"]}})"
            "\n");
  EXPECT_EQ(run.err, "");

  // The empty file of a new app holds nothing yet.
  nimbus::heartbeat::HeartbeatStorage fresh("fresh", nullptr);
  EXPECT_EQ(RunInProcess({"show", FilePath("fresh")}).out,
            "{\"last_logged_date\":\"\",\"heartbeats\":{}}\n");
}

TEST_F(HeartbeatToolTest, PrintsThePayloadWithoutTakingIt) {
  const std::string path = Store("app", Sample());
  const ToolRun run = RunInProcess({"payload", path});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  ASSERT_EQ(run.out.back(), '\n');
  const std::string payload = run.out.substr(0, run.out.size() - 1);
  EXPECT_EQ(nimbus::heartbeat::DecodeAndUncompress(payload),
            nimbus::heartbeat::BuildHeartbeatsJson(Sample()));
  LoggedHeartbeats after;
  ASSERT_TRUE(nimbus::heartbeat::HeartbeatStorage("app", nullptr).ReadTo(&after));
  EXPECT_EQ(after, Sample());

  const ToolRun decoded = RunInProcess({"decode", payload});
  EXPECT_EQ(decoded.exit_code, 0);
  EXPECT_EQ(decoded.out, nimbus::heartbeat::BuildHeartbeatsJson(Sample()) + "\n");

  // A record without heartbeats gives no payload.
  Store("empty", LoggedHeartbeats());
  EXPECT_EQ(RunInProcess({"payload", FilePath("empty")}).out, "\n");
}

TEST_F(HeartbeatToolTest, ReportsFailuresOnOneLine) {
  const std::string missing = home_.path() + "/missing";
  const std::string garbage = home_.path() + "/garbage";
  WriteFileBytes(garbage, std::string(64, '\x7f'));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"show", missing}, "tervala-heartbeat: " + missing + ": cannot open the file\n"},
      {{"payload", missing}, "tervala-heartbeat: " + missing + ": cannot open the file\n"},
      {{"show", garbage}, "tervala-heartbeat: " + garbage + ": not a heartbeat file\n"},
      {{"decode", "not base64!"}, "tervala-heartbeat: the payload is not base64 of gzip data\n"},
      {{"decode", "aGVsbG8"}, "tervala-heartbeat: the payload is not base64 of gzip data\n"},
  };
  for (const auto& [args, message] : cases) {
    const ToolRun run = RunInProcess(args);
    EXPECT_EQ(run.exit_code, 1) << args[0];
    EXPECT_EQ(run.err, message);
    EXPECT_EQ(run.out, "");
  }
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"show"}, {"files", "x"}, {"other", "x"}}) {
    const ToolRun run = RunInProcess(args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err.rfind("usage: tervala-heartbeat", 0), 0u) << run.err;
  }
}

TEST_F(HeartbeatToolTest, ListsTheFilesOfThisUser) {
  EXPECT_EQ(RunInProcess({"files"}).out, "");  // no folder yet
  const std::string b = Store("b", Sample());
  const std::string a = Store("a", LoggedHeartbeats());
  WriteFileBytes(b + ".tmp-abcdef", "left by a killed writer");
  WriteFileBytes(FilePath("c"), "damaged");
  const ToolRun run = RunInProcess({"files"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, Listed(a) + "\t{\"last_logged_date\":\"\",\"heartbeats\":{}}\n" + Listed(b) +
                         "\t" + tervala::heartbeat_tool::RecordToJson(Sample()) + "\n");
  EXPECT_EQ(run.err, "tervala-heartbeat: " + Listed(FilePath("c")) + ": not a heartbeat file\n");
}

// Characters a terminal would act on, in names every system allows: DEL and the C1
// control U+009B (a terminal's CSI); other non-ASCII characters stay as they are.
TEST_F(HeartbeatToolTest, EscapesWhatATerminalWouldActOnInFileNames) {
  const std::string empty = "\t{\"last_logged_date\":\"\",\"heartbeats\":{}}\n";
  Store("x", LoggedHeartbeats());
  WriteFileBytes(FilePath("a\x7f\xc2\x9b\xc3\xa9"), "");
  const ToolRun run = RunInProcess({"files"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, Listed(FilePath("a")) + "\\x7f\\xc2\\x9b\xc3\xa9" + empty +
                         Listed(FilePath("x")) + empty);
}

// A real app logs its heartbeat; the built tool finds it, and its payload is the one the
// app's controller hands out.
TEST_F(HeartbeatToolTest, ShowsWhatARealAppLogged) {
  nimbus::AppOptions options;
  options.app_id = "app-id";
  options.api_key = "api-key";
  options.project_id = "project";
  options.package_name = "com.example";
  std::unique_ptr<nimbus::App> app(nimbus::App::Create(options, "tool-test"));
  ASSERT_NE(app, nullptr);
  auto controller = app->GetHeartbeatController();
  ASSERT_TRUE(controller->WaitUntilIdle(10000));

  const std::string path = FilePath("comexampletool-test");
  const std::string today = nimbus::heartbeat::DateProviderImpl().GetDate();
  LoggedHeartbeats expected;
  expected.last_logged_date = today;
  expected.heartbeats[nimbus::App::GetUserAgentCopy()] = {today};
  const std::string json = tervala::heartbeat_tool::RecordToJson(expected);

  // The built tool finds the test's data folder through TERVALA_DATA_DIR.
  const ToolRun files = RunBuiltTool({"files"});
  EXPECT_EQ(files.exit_code, 0) << files.err;
  EXPECT_EQ(files.out, Listed(path) + "\t" + json + "\n");
  const ToolRun show = RunBuiltTool({"show", path});
  EXPECT_EQ(show.out, json + "\n") << "exit code " << show.exit_code << ": " << show.err;

  const ToolRun payload = RunBuiltTool({"payload", path});
  EXPECT_EQ(payload.exit_code, 0);
  EXPECT_EQ(payload.out, controller->TakeStoredHeartbeatsPayload() + "\n");
  const ToolRun decoded = RunBuiltTool({"decode", payload.out.substr(0, payload.out.size() - 1)});
  EXPECT_EQ(decoded.out, nimbus::heartbeat::BuildHeartbeatsJson(expected) + "\n");
}

}  // namespace
