// The core plug-in registered with a running engine, asked through its six channels by the
// engine-side application, creating real apps with their heartbeats.

#include "nimbus_core_plugin/nimbus_core_plugin.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_options.h"
#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/log.h"
#include "nimbus_core_plugin/nimbus_core_plugin_c_api.h"
#include "nimbus_core_plugin/tests/app_core_test.h"
#include "nimbus_core_plugin/vela_nimbus_plugin.h"
#include "plugins/tests/relay_engine.h"
#include "platform/test_support/paths.h"

namespace nimbus_core_windows {
namespace {

using tervala_plugins::testing::RelayEngine;
using vela::CustomEncodableValue;
using vela::EncodableList;
using vela::EncodableMap;
using vela::EncodableValue;

constexpr char kUserAgentEntry[] = "vela-nimbus-core/4.15.0";

// The log's error messages, from any thread.
class ErrorLog {
 public:
  ErrorLog() { nimbus::LogSetCallback(&ErrorLog::Sink, this); }
  ~ErrorLog() { nimbus::LogSetCallback(nullptr, nullptr); }
  std::vector<std::string> errors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }

 private:
  static void Sink(nimbus::LogLevel level, const char* message, void* user_data) {
    auto* log = static_cast<ErrorLog*>(user_data);
    std::lock_guard<std::mutex> lock(log->mutex_);
    if (level >= nimbus::kLogLevelError) log->errors_.emplace_back(message);
  }
  mutable std::mutex mutex_;
  std::vector<std::string> errors_;
};

// A further cloud plug-in that counts its notifications.
class CountingPlugin : public VelaNimbusPlugin {
 public:
  EncodableMap PluginConstantsForApp(nimbus::App* app) override {
    return EncodableMap{{"app", std::string(app->name())}};
  }
  void OnCoreReinitialized() override { ++reinitialized; }
  int reinitialized = 0;
};

CoreNimbusOptions RequiredOptions(const std::string& api_key) {
  return CoreNimbusOptions(api_key, "1:23:desktop:4", "123", "demo-project");
}

const CoreInitializeResponse& AsResponse(const EncodableValue& value) {
  return value.Get<CustomEncodableValue>().Get<CoreInitializeResponse>();
}

class NimbusCorePluginTest : public AppCoreTest {
 protected:
  void SetUp() override {
    AppCoreTest::SetUp();
    ASSERT_TRUE(relay_.is_running());
    NimbusCorePluginCApiRegisterWithRegistrar(
        relay_.engine().RegistrarForPlugin("NimbusCorePluginCApi"));
  }

  void TearDown() override {
    RegisterVelaNimbusPlugin("counting", nullptr);
    AppCoreTest::TearDown();
  }

  std::optional<EncodableValue> Call(const std::string& channel, const EncodableValue& message) {
    return relay_.Call(channel, message, HostApiCodec());
  }

  // The reply's single element, or the whole reply when it is not a success.
  EncodableValue Success(const std::string& channel, const EncodableValue& message) {
    std::optional<EncodableValue> reply = Call(channel, message);
    if (!reply) return EncodableValue("no reply");
    const auto* list = reply->GetIf<EncodableList>();
    if (list == nullptr || list->size() != 1) {
      ADD_FAILURE() << "not a success reply on " << channel;
      return *reply;
    }
    return (*list)[0];
  }

  CoreInitializeResponse InitializeApp(const std::string& name, const CoreNimbusOptions& options) {
    EncodableValue reply =
        Success(kInitializeAppChannel, EncodableList{name, CustomEncodableValue(options)});
    if (!reply.Holds<CustomEncodableValue>()) {
      ADD_FAILURE() << "initializeApp failed";
      return CoreInitializeResponse(name, options, {});
    }
    return AsResponse(reply);
  }

  std::vector<CoreInitializeResponse> InitializeCore() {
    std::vector<CoreInitializeResponse> descriptions;
    EncodableValue reply = Success(kInitializeCoreChannel, EncodableList{});
    for (const EncodableValue& entry : reply.Get<EncodableList>()) {
      descriptions.push_back(AsResponse(entry));
    }
    return descriptions;
  }

  void WriteConfig(const std::string& json) {
    ASSERT_TRUE(tervala_testing::WriteWholeFile(ConfigPath("nimbus-services.json"), json));
  }

  ErrorLog log_;
  RelayEngine relay_;
};

TEST_F(NimbusCorePluginTest, RegistrationNamesTheLibraryInTheUserAgent) {
  EXPECT_NE(nimbus::App::GetUserAgentCopy().find(kUserAgentEntry), std::string::npos);
}

TEST_F(NimbusCorePluginTest, InitializeAppCreatesTheAppAndLogsItsHeartbeat) {
  CoreNimbusOptions options = RequiredOptions("key-1");
  options.set_database_url("https://demo.nimbus.example");
  options.set_storage_bucket("demo.bucket");
  options.set_tracking_id("UA-7");
  options.set_extra_option_4("carried");
  const CoreInitializeResponse response = InitializeApp("first", options);

  // The reply's options: the required ones, the URL and bucket, never the tracking ID or
  // the extra options.
  CoreNimbusOptions expected = RequiredOptions("key-1");
  expected.set_database_url("https://demo.nimbus.example");
  expected.set_storage_bucket("demo.bucket");
  EXPECT_EQ(response.name(), "first");
  EXPECT_EQ(response.options(), expected);
  EXPECT_EQ(response.is_automatic_data_collection_enabled(), nullptr);
  EXPECT_TRUE(response.plugin_constants().empty());

  nimbus::App* app = nimbus::App::GetInstance("first");
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->options().tracking_id, "UA-7");
  EXPECT_EQ(app->options().database_url, "https://demo.nimbus.example");

  ASSERT_TRUE(app->GetHeartbeatController()->WaitUntilIdle(10000));
  nimbus::heartbeat::LoggedHeartbeats record;
  ASSERT_TRUE(nimbus::heartbeat::HeartbeatStorage(app->heartbeat_key(), nullptr).ReadTo(&record));
  ASSERT_EQ(record.heartbeats.size(), 1u);
  const std::string& agent = record.heartbeats.begin()->first;
  EXPECT_NE(agent.find(kUserAgentEntry), std::string::npos) << agent;
  EXPECT_NE(agent.find("nimbus-cpp/13.12.0"), std::string::npos) << agent;
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(home_.path()) /
                                               "nimbus-heartbeat" / "heartbeats-first"));
}

TEST_F(NimbusCorePluginTest, SecondInitializeAppOfANameDescribesTheFirstApp) {
  InitializeApp("twice", RequiredOptions("first-key"));
  const CoreInitializeResponse second = InitializeApp("twice", RequiredOptions("second-key"));
  EXPECT_EQ(second.options(), RequiredOptions("first-key"));
  const auto errors = log_.errors();
  EXPECT_NE(std::find(errors.begin(), errors.end(),
                      "App twice already created, options will not be applied."),
            errors.end());
}

TEST_F(NimbusCorePluginTest, EmptyDatabaseUrlIsNotSentBack) {
  CoreNimbusOptions options = RequiredOptions("key");
  options.set_database_url("");
  EXPECT_EQ(InitializeApp("empty-url", options).options(), RequiredOptions("key"));
}

TEST_F(NimbusCorePluginTest, IncompleteOptionsAnswerAppNotCreated) {
  const CoreNimbusOptions options("key", "app", "sender", "");
  EXPECT_EQ(
      Call(kInitializeAppChannel, EncodableList{"incomplete", CustomEncodableValue(options)}),
      EncodableValue(EncodableList{
          "app-not-created", "App ID, API key, and Project ID must be specified in App options.",
          EncodableValue()}));
  EXPECT_EQ(nimbus::App::GetInstance("incomplete"), nullptr);
}

TEST_F(NimbusCorePluginTest, InitializeCoreListsTheAppsInRegistryOrder) {
  const EncodableValue none = Success(kInitializeCoreChannel, EncodableList{});
  EXPECT_EQ(none, EncodableValue(EncodableList{}));

  InitializeApp("b", RequiredOptions("b-key"));
  InitializeApp(nimbus::kDefaultAppName, RequiredOptions("default-key"));
  InitializeApp("a", RequiredOptions("a-key"));
  const std::vector<CoreInitializeResponse> apps = InitializeCore();
  ASSERT_EQ(apps.size(), 3u);
  EXPECT_EQ(apps[0].name(), "a");
  EXPECT_EQ(apps[0].options(), RequiredOptions("a-key"));
  EXPECT_EQ(apps[1].name(), "b");
  EXPECT_EQ(apps[2].name(), nimbus::kDefaultAppName);
}

TEST_F(NimbusCorePluginTest, FurtherPluginsPublishConstantsAndHearReinitialisation) {
  CountingPlugin counting;
  CountingPlugin replaced;
  RegisterVelaNimbusPlugin("counting", &replaced);
  RegisterVelaNimbusPlugin("counting", &counting);

  const CoreInitializeResponse created = InitializeApp("with-constants", RequiredOptions("key"));
  const EncodableMap expected = {{"counting", EncodableMap{{"app", "with-constants"}}}};
  EXPECT_EQ(created.plugin_constants(), expected);

  // This plug-in object is new, so its first initializeCore notifies nobody.
  ASSERT_EQ(InitializeCore().size(), 1u);
  EXPECT_EQ(counting.reinitialized, 0);
  const std::vector<CoreInitializeResponse> listed = InitializeCore();
  EXPECT_EQ(counting.reinitialized, 1);
  InitializeCore();
  EXPECT_EQ(counting.reinitialized, 2);
  EXPECT_EQ(replaced.reinitialized, 0);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].plugin_constants(), expected);

  RegisterVelaNimbusPlugin("counting", nullptr);
  EXPECT_TRUE(NimbusPluginDirectory::GetInstance().plugins().empty());
  InitializeCore();
  EXPECT_EQ(counting.reinitialized, 2);
}

// A further plug-in that writes what it is asked, in order, into a shared journal.
class JournalPlugin : public VelaNimbusPlugin {
 public:
  JournalPlugin(std::string name, std::vector<std::string>* journal)
      : name_(std::move(name)), journal_(journal) {}
  EncodableMap PluginConstantsForApp(nimbus::App* app) override {
    journal_->push_back(name_ + " constants " + app->name());
    return EncodableMap();
  }
  void OnCoreReinitialized() override { journal_->push_back(name_ + " reinitialized"); }

 private:
  std::string name_;
  std::vector<std::string>* journal_;
};

TEST_F(NimbusCorePluginTest, FurtherPluginsHearReinitialisationBeforeTheAppsAreListed) {
  std::vector<std::string> journal;
  JournalPlugin first("first", &journal);
  JournalPlugin second("second", &journal);
  RegisterVelaNimbusPlugin("second", &second);
  RegisterVelaNimbusPlugin("first", &first);
  InitializeApp("x", RequiredOptions("key"));
  InitializeCore();
  journal.clear();
  InitializeCore();
  EXPECT_EQ(journal, (std::vector<std::string>{"first reinitialized", "second reinitialized",
                                               "first constants x", "second constants x"}));
  RegisterVelaNimbusPlugin("first", nullptr);
  RegisterVelaNimbusPlugin("second", nullptr);
}

TEST_F(NimbusCorePluginTest, DeleteDestroysTheAppAndANewOneMayTakeItsName) {
  InitializeApp("doomed", RequiredOptions("old-key"));
  const EncodableValue acknowledged = EncodableList{EncodableValue()};
  EXPECT_EQ(Call(kDeleteChannel, EncodableList{"doomed"}), acknowledged);
  EXPECT_EQ(nimbus::App::GetInstance("doomed"), nullptr);
  EXPECT_TRUE(InitializeCore().empty());
  EXPECT_EQ(Call(kDeleteChannel, EncodableList{"never-created"}), acknowledged);

  // The last app went, and with it the library registry; the new app's user agent still
  // names the plug-in.
  EXPECT_EQ(InitializeApp("doomed", RequiredOptions("new-key")).options(),
            RequiredOptions("new-key"));
  nimbus::App* app = nimbus::App::GetInstance("doomed");
  ASSERT_NE(app, nullptr);
  EXPECT_NE(nimbus::App::GetUserAgentCopy().find(kUserAgentEntry), std::string::npos);
  ASSERT_TRUE(app->GetHeartbeatController()->WaitUntilIdle(10000));
  nimbus::heartbeat::LoggedHeartbeats record;
  ASSERT_TRUE(nimbus::heartbeat::HeartbeatStorage(app->heartbeat_key(), nullptr).ReadTo(&record));
  ASSERT_EQ(record.heartbeats.size(), 1u);
  EXPECT_NE(record.heartbeats.begin()->first.find(kUserAgentEntry), std::string::npos);
}

TEST_F(NimbusCorePluginTest, FlagRequestsAreAcknowledged) {
  InitializeApp("flagged", RequiredOptions("key"));
  const EncodableValue acknowledged = EncodableList{EncodableValue()};
  for (const char* name : {"flagged", "nobody"}) {
    EXPECT_EQ(Call(kSetAutomaticDataCollectionEnabledChannel, EncodableList{name, true}),
              acknowledged);
    EXPECT_EQ(Call(kSetAutomaticResourceManagementEnabledChannel, EncodableList{name, false}),
              acknowledged);
  }
  EXPECT_EQ(InitializeCore().size(), 1u);
}

TEST_F(NimbusCorePluginTest, OptionsFromResourceReadsTheConfigFile) {
  EXPECT_EQ(
      Call(kOptionsFromResourceChannel, EncodableValue()),
      EncodableValue(EncodableList{
          "options-not-found",
          "Unable to load Nimbus app options ([" + ConfigPath("nimbus-services-desktop.json") +
              ", " + ConfigPath("nimbus-services.json") + "] are missing or malformed)",
          EncodableValue()}));

  WriteConfig(R"({"project_info": {"project_number": "987", "project_id": "from-file",
                   "storage_bucket": "file.bucket"},
                  "client": [{"client_info": {"mobile_app_id": "1:987:desktop:1",
                                              "platform_client_info": {"package_name": "com.example"}},
                              "api_key": [{"current_key": "file-key"}],
                              "services": {"analytics_service": {"analytics_property": {"tracking_id": "UA-9"}}}}]})");
  const EncodableValue reply = Success(kOptionsFromResourceChannel, EncodableValue());
  CoreNimbusOptions expected("file-key", "1:987:desktop:1", "987", "from-file");
  expected.set_storage_bucket("file.bucket");
  EXPECT_EQ(reply.Get<CustomEncodableValue>().Get<CoreNimbusOptions>(), expected);
}

TEST_F(NimbusCorePluginTest, MissingOptionsAreCompletedFromTheConfigFile) {
  WriteConfig(R"({"project_info": {"project_number": "987", "project_id": "from-file"},
                  "client": [{"client_info": {"mobile_app_id": "1:987:desktop:1",
                                              "platform_client_info": {"package_name": "com.example"}},
                              "api_key": [{"current_key": "file-key"}]}]})");
  const CoreInitializeResponse response =
      InitializeApp("completed", CoreNimbusOptions("", "", "555", ""));
  EXPECT_EQ(response.options(),
            CoreNimbusOptions("file-key", "1:987:desktop:1", "555", "from-file"));
}

TEST(NimbusCorePluginRegistration, NullRegistrarRegistersNothing) {
  NimbusCorePluginCApiRegisterWithRegistrar(nullptr);
}

}  // namespace
}  // namespace nimbus_core_windows
