// The real tervala_app, headless: the sample application with and without a config file (the
// bridge's runs are in bridge_end_to_end_test.cc).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bundle/sample/nimbus_records.h"
#include "bundle/tests/app_process.h"
#include "embedding_client/standard_message_codec.h"

namespace vela {
// Values in failure messages, readably.
void PrintTo(const EncodableValue& value, std::ostream* out) {
  *out << tervala_bundle::ValueText(value);
}
}  // namespace vela

namespace bundle_test {
namespace {

namespace fs = std::filesystem;
using tervala_bundle::AppDescription;
using tervala_bundle::AppOptionsRecord;
using tervala_bundle::BridgeFrame;
using tervala_bundle::ChannelReply;
using tervala_bundle::FrameKind;
using ::testing::HasSubstr;
using ::testing::Not;

// The heartbeat files under a data folder.
std::vector<std::string> HeartbeatFiles(const std::string& data_home) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(data_home + "/nimbus-heartbeat", error)) {
    files.push_back(entry.path().filename().string());
  }
  return files;
}

// A run of the sample application, with its own working and data folders.
struct SampleRun {
  TemporaryFolder work;
  TemporaryFolder data;
  int exit_code = -1;
  std::string output;
  std::string errors;

  void Run(const std::vector<std::string>& arguments) {
    AppProcess app(TERVALA_APP, arguments, work.path(), {"TERVALA_DATA_DIR=" + data.path()});
    ASSERT_TRUE(app.started());
    exit_code = app.WaitForExit();
    output = app.StandardOutput();
    errors = app.StandardError();
  }
};

TEST(SampleEndToEndTest, InitialisesTheDefaultAppFromTheConfigFileAndKeepsItsHeartbeat) {
  SampleRun run;
  fs::copy_file(SAMPLE_CONFIG, run.work.path() + "/nimbus-services.json");
  run.Run({"--exit-when-ready"});
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_THAT(run.output, HasSubstr("Tervala sample: core initialised"));
  EXPECT_THAT(run.output,
              HasSubstr("Tervala sample: app __NIMBUSAPP_DEFAULT: project tervala-sample, app id "
                        "1:000000000000:desktop:0000000000000000"));
  EXPECT_THAT(run.output, Not(HasSubstr("failed")));
  // One heartbeat file, written whole: no temporary file left of it.
  const std::vector<std::string> files = HeartbeatFiles(run.data.path());
  ASSERT_EQ(files.size(), 1u) << ::testing::PrintToString(files);
  EXPECT_THAT(files[0], ::testing::StartsWith("heartbeats-"));
  EXPECT_THAT(files[0], HasSubstr("__NIMBUSAPP_DEFAULT"));
  EXPECT_GT(fs::file_size(run.data.path() + "/nimbus-heartbeat/" + files[0]), 0u);
}

// The app asked for could not be created: the sample says why, and --exit-when-ready ends
// with exit code 1, so a script sees the failure.
TEST(SampleEndToEndTest, WithoutAConfigFileReportsTheAppNotCreatedAndExitsWithOne) {
  SampleRun run;
  run.Run({"--exit-when-ready"});
  EXPECT_EQ(run.exit_code, 1) << run.errors;
  EXPECT_THAT(run.output, HasSubstr("Tervala sample: initializeApp failed: app-not-created"));
  EXPECT_THAT(run.output, HasSubstr("Tervala sample: no apps"));
  EXPECT_TRUE(HeartbeatFiles(run.data.path()).empty());
}

TEST(SampleEndToEndTest, OptionsFromTheArgumentsNeedNoConfigFile) {
  SampleRun run;
  run.Run({"--api-key=k", "--app-id=1:2:desktop:3", "--project-id=from-arguments",
           "--storage-bucket=bucket", "--exit-when-ready", "--unknown"});
  EXPECT_EQ(run.exit_code, 0) << run.errors;
  EXPECT_THAT(run.output, HasSubstr("app __NIMBUSAPP_DEFAULT: project from-arguments, app id "
                                    "1:2:desktop:3"));
  EXPECT_THAT(run.errors, HasSubstr("unknown argument \"--unknown\""));
}

}  // namespace
}  // namespace bundle_test
