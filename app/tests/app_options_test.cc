#include "app/app_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/tests/app_options_test.h"
#include "app/tests/config_test_support.h"

namespace nimbus {
namespace {

using testing::AppOptionsTest;
using testing::kSeparator;
using testing::LogLine;
using testing::TaggedConfig;

constexpr char kParseSuffix[] = ". Check the config string passed to App::CreateFromJsonConfig()";

// A file as the backend's console hands it out, with keys the schema does not declare.
// Only the second client has a package name; its first API key entry has no current_key.
constexpr char kConsoleConfig[] = R"json({
  "project_info": {
    "project_number": "123456789",
    "nimbus_url": "https://demo.nimbus.example",
    "project_id": "demo-project",
    "storage_bucket": "demo-project.appspot.example",
    "region": {"name": "eu", "zones": [1, 2, 3]}
  },
  "client": [
    {
      "client_info": {"mobile_app_id": "1:123:android:first"},
      "api_key": [{"current_key": "first-key"}]
    },
    {
      "client_info": {
        "mobile_app_id": "1:123:android:second",
        "platform_client_info": {"package_name": "com.example.demo"}
      },
      "oauth_client": [
        {"client_id": "abc.apps.example", "client_type": 3,
         "platform_info": {"package_name": "com.example.demo", "certificate_hash": "ff00"}}
      ],
      "api_key": [{}, {"current_key": "second-key"}, {"current_key": "third-key"}],
      "services": {
        "analytics_service": {"status": 2, "analytics_property": {"tracking_id": "UA-1"}},
        "appinvite_service": {"other_platform_oauth_client": [{"client_id": "x"}]},
        "ads_service": {"status": 1, "test_banner_ad_unit_id": "b",
                        "analytics_service": {"status": 1}}
      }
    }
  ],
  "configuration_version": "1",
  "extra_top_level": [true, null, {"deep": {"deeper": 1.5}}]
})json";

AppOptions ConsoleOptions() {
  AppOptions expected;
  expected.package_name = "com.example.demo";
  expected.api_key = "second-key";
  expected.app_id = "1:123:android:second";
  expected.database_url = "https://demo.nimbus.example";
  expected.tracking_id = "UA-1";
  expected.messaging_sender_id = "123456789";
  expected.storage_bucket = "demo-project.appspot.example";
  expected.project_id = "demo-project";
  return expected;
}

LogLine Warning(const std::string& label) {
  return {kLogLevelWarning, label + " not set in the Nimbus config."};
}

TEST_F(AppOptionsTest, ParsesConsoleFileSkippingUnknownKeys) {
  std::unique_ptr<AppOptions> options(ParseJsonConfig(kConsoleConfig, nullptr));
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(*options, ConsoleOptions());
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(AppOptionsTest, AbsentFieldsKeepTheCallersValues) {
  AppOptions options;
  options.tracking_id = "caller-tracking";
  options.database_url = "caller-url";
  const char json[] = R"({"project_info": {"project_id": "p", "storage_bucket": "b"},
    "client": [{"client_info": {"mobile_app_id": "a",
                                "platform_client_info": {"package_name": "pkg"}},
                "api_key": [{"current_key": "k"}]}]})";
  ASSERT_EQ(ParseJsonConfig(json, &options), &options);
  EXPECT_EQ(options.tracking_id, "caller-tracking");
  EXPECT_EQ(options.database_url, "caller-url");
  EXPECT_EQ(options.messaging_sender_id, "");
  EXPECT_EQ(options.app_id, "a");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(AppOptionsTest, WarnsAboutEmptyOptionsInOrder) {
  const char json[] = R"({"project_info": {"project_id": "p"},
    "client": [{"client_info": {"mobile_app_id": "a",
                                "platform_client_info": {"package_name": "pkg"}},
                "api_key": [{"current_key": "k"}]}]})";
  std::unique_ptr<AppOptions> options(ParseJsonConfig(json, nullptr));
  ASSERT_NE(options, nullptr);  // warnings do not fail the parse
  EXPECT_EQ(log_.lines(),
            (std::vector<LogLine>{Warning("Database URL"), Warning("Storage bucket")}));
}

TEST_F(AppOptionsTest, MissingProjectInfoFailsWithoutReadingClients) {
  EXPECT_EQ(ParseJsonConfig("{}", nullptr), nullptr);
  EXPECT_EQ(log_.lines(), (std::vector<LogLine>{
                              {kLogLevelError, "'project_info' not found in Nimbus config."},
                              Warning("Database URL"),
                              Warning("Storage bucket"),
                              Warning("Project ID"),
                              Warning("API key"),
                              Warning("App ID"),
                          }));
}

TEST_F(AppOptionsTest, ClientWithoutPackageNameFailsAfterCopyingProjectInfo) {
  AppOptions options;
  const char json[] = R"({"project_info": {"project_id": "p", "nimbus_url": "u",
    "storage_bucket": "b"}, "client": [{"client_info": {"mobile_app_id": "a"},
    "api_key": [{"current_key": "k"}]}]})";
  EXPECT_EQ(ParseJsonConfig(json, &options), nullptr);
  EXPECT_EQ(options.project_id, "p");
  EXPECT_EQ(options.app_id, "");
  EXPECT_EQ(log_.lines(),
            (std::vector<LogLine>{
                {kLogLevelError,
                 "'client' data (oauth client ID, API key etc.) not found in Nimbus config."},
                Warning("API key"),
                Warning("App ID"),
            }));
}

TEST_F(AppOptionsTest, MalformedJsonReportsTheParserError) {
  // Schema statements are not JSON: a config text must not redefine the root type or
  // make the parser read other files.
  for (const char* json :
       {"", "{\"project_info\": ", "not json", R"({"project_info": {}} {})",
        R"({"project_info": {"project_id": 7}})", R"({"client": {"not": "an array"}})",
        R"(include "other.fbs"; {})", R"(root_type ProjectInfo; {"project_number": "x"})"}) {
    SCOPED_TRACE(json);
    log_.Clear();
    AppOptions options;
    EXPECT_EQ(ParseJsonConfig(json, &options), nullptr);
    EXPECT_EQ(options, AppOptions());
    ASSERT_EQ(log_.lines().size(), 1u);
    EXPECT_EQ(log_.lines()[0].first, kLogLevelError);
    const std::string& text = log_.lines()[0].second;
    EXPECT_TRUE(text.starts_with("Failed to parse Nimbus config: ")) << text;
    EXPECT_TRUE(text.ends_with(kParseSuffix)) << text;
    EXPECT_GT(text.size(), std::string("Failed to parse Nimbus config: ").size() +
                               std::string(kParseSuffix).size());
  }
}

TEST_F(AppOptionsTest, BufferOverTheVerifierTableLimitFailsTheIntegrityCheck) {
  // More tables than the verifier accepts (1000000): a parsed buffer that still must not
  // be read.
  std::string json = R"({"project_info": {}, "client": [)";
  for (int i = 0; i < 1000000; ++i) json += "{},";
  json += "{}]}";
  EXPECT_EQ(ParseJsonConfig(json.c_str(), nullptr), nullptr);
  EXPECT_EQ(log_.lines(),
            (std::vector<LogLine>{{kLogLevelError,
                                   "Failed to parse Nimbus config: integrity check failed. Check "
                                   "the config string passed to App::CreateFromJsonConfig()"}}));
}

TEST_F(AppOptionsTest, LoadOptionsFileReadsUpTo512000Bytes) {
  const std::string json = TaggedConfig("t");
  const std::string at_limit =
      dir_.Write("limit.json", json + std::string(512000 - json.size(), ' '));
  const std::string over_limit =
      dir_.Write("over.json", json + std::string(512001 - json.size(), ' '));
  ASSERT_EQ(std::filesystem::file_size(at_limit), 512000u);
  ASSERT_EQ(std::filesystem::file_size(over_limit), 512001u);

  AppOptions options;
  EXPECT_TRUE(LoadOptionsFile(at_limit.c_str(), &options));
  EXPECT_EQ(options.app_id, "t");

  AppOptions untouched;
  EXPECT_FALSE(LoadOptionsFile(over_limit.c_str(), &untouched));
  EXPECT_EQ(untouched, AppOptions());
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(AppOptionsTest, LoadOptionsFileRefusesMissingFilesDirectoriesAndBadPaths) {
  AppOptions options;
  EXPECT_FALSE(LoadOptionsFile(dir_.Join("absent.json").c_str(), &options));
  EXPECT_FALSE(LoadOptionsFile(dir_.path().c_str(), &options));
  EXPECT_TRUE(log_.lines().empty());

  const std::string bad_path = dir_.path() + "/\xff\xfe.json";
  EXPECT_FALSE(LoadOptionsFile(bad_path.c_str(), &options));
  EXPECT_EQ(log_.lines(),
            (std::vector<LogLine>{{kLogLevelError, "Can't convert path '" + bad_path +
                                                       "' to UTF-16: bad conversion"}}));
  EXPECT_EQ(options, AppOptions());
}

TEST_F(AppOptionsTest, DesktopFileComesFirst) {
  dir_.Write(kConfigFileDesktop, TaggedConfig("desktop"));
  dir_.Write(kConfigFileDefault, TaggedConfig("default"));
  SetConfigDirectory(dir_.path().c_str());
  std::unique_ptr<AppOptions> options(LoadDefaultOptions(nullptr));
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->api_key, "desktop");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(AppOptionsTest, BrokenDesktopFileFallsBackToTheSecond) {
  dir_.Write(kConfigFileDesktop, "{ broken");
  dir_.Write(kConfigFileDefault, TaggedConfig("default"));
  SetConfigDirectory(dir_.path().c_str());
  AppOptions options;
  EXPECT_EQ(LoadDefaultOptions(&options), &options);
  EXPECT_EQ(options.project_id, "default");
  EXPECT_EQ(options.package_name, "default");
  ASSERT_EQ(log_.lines().size(), 1u);  // the first file's parse error
  EXPECT_TRUE(log_.lines()[0].second.ends_with(kParseSuffix));
}

// A desktop file that is a folder is passed over, and the second file is used.
TEST_F(AppOptionsTest, DesktopFileThatIsAFolderFallsBackToTheSecond) {
  dir_.Write(kConfigFileDefault, TaggedConfig("default"));
  SetConfigDirectory(dir_.path().c_str());
  ASSERT_TRUE(std::filesystem::create_directory(
      tervala_testing::PathFromUtf8(dir_.Join(kConfigFileDesktop))));
  std::unique_ptr<AppOptions> options(LoadDefaultOptions(nullptr));
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->api_key, "default");
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(AppOptionsTest, NoFileListsBothPaths) {
  SetConfigDirectory(dir_.path().c_str());
  EXPECT_EQ(LoadDefaultOptions(nullptr), nullptr);
  const std::string dir = dir_.path() + kSeparator;
  EXPECT_EQ(log_.lines(),
            (std::vector<LogLine>{
                {kLogLevelError, "Unable to load Nimbus app options ([" + dir +
                                     "nimbus-services-desktop.json, " + dir +
                                     "nimbus-services.json] are missing or malformed)"}}));
}

TEST_F(AppOptionsTest, EmptyConfigDirectoryMeansTheCurrentDirectory) {
  // Runs in the temporary directory and returns to the previous one whatever happens.
  struct WorkingDirectory {
    explicit WorkingDirectory(const std::string& dir) : previous(std::filesystem::current_path()) {
      std::filesystem::current_path(tervala_testing::PathFromUtf8(dir));
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous); }
    std::filesystem::path previous;
  } in_dir(dir_.path());

  EXPECT_EQ(LoadDefaultOptions(nullptr), nullptr);
  EXPECT_EQ(log_.lines(),
            (std::vector<LogLine>{{kLogLevelError,
                                   "Unable to load Nimbus app options "
                                   "([nimbus-services-desktop.json, "
                                   "nimbus-services.json] are missing or malformed)"}}));

  dir_.Write(kConfigFileDefault, TaggedConfig("cwd"));
  std::unique_ptr<AppOptions> options(LoadDefaultOptions(nullptr));
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->app_id, "cwd");
}

TEST_F(AppOptionsTest, ConfigDirectoryGetsOneTrailingSeparator) {
  SetConfigDirectory("cfg");
  EXPECT_EQ(GetConfigDirectory(), std::string("cfg") + kSeparator);
  SetConfigDirectory("cfg/");
  EXPECT_EQ(GetConfigDirectory(), "cfg/");
  SetConfigDirectory("cfg\\");
  EXPECT_EQ(GetConfigDirectory(), "cfg\\");
  SetConfigDirectory("");
  EXPECT_EQ(GetConfigDirectory(), "");
  SetConfigDirectory(nullptr);
  EXPECT_EQ(GetConfigDirectory(), "");
}

TEST_F(AppOptionsTest, FillMissingRequiredReadsNoFileWhenRequiredAreSet) {
  // A broken file would log a parse error if it were read.
  dir_.Write(kConfigFileDesktop, "{ broken");
  SetConfigDirectory(dir_.path().c_str());
  AppOptions options;
  options.app_id = "a";
  options.api_key = "k";
  options.project_id = "p";
  const AppOptions before = options;
  EXPECT_TRUE(FillMissingRequired(options));
  EXPECT_EQ(options, before);
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(AppOptionsTest, FillMissingRequiredCompletesOnlyEmptyRequiredFields) {
  dir_.Write(kConfigFileDesktop, TaggedConfig("file"));
  SetConfigDirectory(dir_.path().c_str());
  AppOptions options;
  options.app_id = "mine";
  EXPECT_TRUE(FillMissingRequired(options));
  AppOptions expected;
  expected.app_id = "mine";
  expected.api_key = "file";
  expected.project_id = "file";
  EXPECT_EQ(options, expected);  // database_url, package_name, ... stay empty
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(AppOptionsTest, FillMissingRequiredFailsWithoutConfigFile) {
  SetConfigDirectory(dir_.path().c_str());
  AppOptions options;
  options.app_id = "a";
  options.api_key = "k";
  EXPECT_FALSE(FillMissingRequired(options));
  const std::string dir = dir_.path() + kSeparator;
  EXPECT_EQ(
      log_.lines(),
      (std::vector<LogLine>{
          {kLogLevelError, "Unable to load Nimbus app options ([" + dir +
                               "nimbus-services-desktop.json, " + dir +
                               "nimbus-services.json] are missing or malformed)"},
          {kLogLevelError,
           "Failed to load default options when attempting to populate missing fields"},
          {kLogLevelError, "App ID, API key, and Project ID must be specified in App options."},
      }));
}

TEST_F(AppOptionsTest, FillMissingRequiredFailsWhenTheFileLacksTheField) {
  dir_.Write(kConfigFileDesktop, R"({"project_info": {"nimbus_url": "u", "storage_bucket": "b"},
    "client": [{"client_info": {"mobile_app_id": "a",
                                "platform_client_info": {"package_name": "pkg"}},
                "api_key": [{"current_key": "k"}]}]})");
  SetConfigDirectory(dir_.path().c_str());
  AppOptions options;
  EXPECT_FALSE(FillMissingRequired(options));
  EXPECT_EQ(options.app_id, "a");
  EXPECT_EQ(options.project_id, "");
  EXPECT_EQ(
      log_.lines(),
      (std::vector<LogLine>{
          Warning("Project ID"),
          {kLogLevelError, "App ID, API key, and Project ID must be specified in App options."},
      }));
}

}  // namespace
}  // namespace nimbus
