#include "app/app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_registry.h"
#include "app/callback.h"
#include "app/cleanup_list.h"
#include "app/heartbeat/date_provider.h"
#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/heartbeat_payload.h"
#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/platform_files.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/library_registry.h"
#include "app/tests/captured_log.h"
#include "app/tests/config_test_support.h"
#include "platform/test_support/environment.h"
#include "platform/test_support/paths.h"

namespace nimbus {
namespace {

using heartbeat::testing::TestDataHome;
using testing::TempDir;

constexpr int kWaitMs = 10000;

constexpr char kConfig[] = R"({
  "project_info": {"project_number": "42", "nimbus_url": "https://db.example",
                   "project_id": "file-project", "storage_bucket": "bucket"},
  "client": [{"client_info": {"mobile_app_id": "file-app-id",
                              "platform_client_info": {"package_name": "com.example"}},
              "api_key": [{"current_key": "file-key"}]}]
})";

AppOptions CompleteOptions(const std::string& project_id = "project") {
  AppOptions options;
  options.app_id = "app-id";
  options.api_key = "api-key";
  options.project_id = project_id;
  return options;
}

// Each test runs in an empty current directory (where configuration files are looked for)
// with a private heartbeat folder, and deletes every app it leaves behind, so the registry
// ends empty.
class AppTest : public ::testing::Test {
 protected:
  AppTest() : saved_cwd_(std::filesystem::current_path()) {
    std::filesystem::current_path(tervala_testing::PathFromUtf8(cwd_.path()));
  }
  ~AppTest() override {
    for (App* app : App::GetApps()) delete app;
    std::filesystem::current_path(saved_cwd_);
  }

  static void WaitForHeartbeat(App* app) {
    ASSERT_NE(app->GetHeartbeatController(), nullptr);
    ASSERT_TRUE(app->GetHeartbeatController()->WaitUntilIdle(kWaitMs));
  }

  TestDataHome home_;
  TempDir cwd_;
  std::filesystem::path saved_cwd_;
  CapturedLog log_{kLogLevelDebug};
};

TEST_F(AppTest, CreatingTheDefaultAppTwiceGivesTheFirstApp) {
  App* app = App::Create(CompleteOptions("first"));
  ASSERT_NE(app, nullptr);
  EXPECT_STREQ(app->name(), "__NIMBUSAPP_DEFAULT");
  EXPECT_EQ(App::Create(CompleteOptions("second")), app);
  EXPECT_EQ(app->options().project_id, "first");
  EXPECT_EQ(log_.Count(kLogLevelError,
                       "App __NIMBUSAPP_DEFAULT already created, options will not be applied."),
            1);
  EXPECT_EQ(App::GetInstance(), app);
  EXPECT_EQ(App::GetInstance("__NIMBUSAPP_DEFAULT"), app);
  EXPECT_EQ(App::GetInstance("other"), nullptr);
  EXPECT_EQ(
      log_.Count(kLogLevelDebug, "Creating Nimbus App __NIMBUSAPP_DEFAULT for Nimbus C++ 13.12.0"),
      1);
  EXPECT_TRUE(app->init_results().empty());

  delete app;
  EXPECT_EQ(App::GetInstance(), nullptr);
  EXPECT_EQ(App::GetInstance("__NIMBUSAPP_DEFAULT"), nullptr);
}

TEST_F(AppTest, IncompleteOptionsWithoutAConfigFileCreateNothing) {
  AppOptions options = CompleteOptions();
  options.project_id.clear();
  log_.Clear();
  EXPECT_EQ(App::Create(options, "x"), nullptr);
  std::vector<std::string> errors;
  for (const auto& [level, text] : log_.Messages()) {
    if (level == kLogLevelError) errors.push_back(text);
  }
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "Unable to load Nimbus app options ([nimbus-services-desktop.json, "
                        "nimbus-services.json] are missing or malformed)",
                        "Failed to load default options when attempting to populate missing fields",
                        "App ID, API key, and Project ID must be specified in App options."}));
  EXPECT_TRUE(App::GetApps().empty());
  EXPECT_FALSE(callback::IsInitialized());
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp"), "");
  EXPECT_FALSE(
      std::filesystem::exists(tervala_testing::PathFromUtf8(home_.path() + "/nimbus-heartbeat")));

  EXPECT_EQ(App::Create(), nullptr);
  EXPECT_TRUE(App::GetApps().empty());
}

TEST_F(AppTest, MissingOptionsComeFromTheConfigFileInTheCurrentDirectory) {
  cwd_.Write("nimbus-services.json", kConfig);
  AppOptions partial;
  partial.api_key = "own-key";
  App* app = App::Create(partial, "cfg");
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->options().api_key, "own-key");
  EXPECT_EQ(app->options().app_id, "file-app-id");
  EXPECT_EQ(app->options().project_id, "file-project");
  // Only the three required fields are completed.
  EXPECT_EQ(app->options().database_url, "");
  EXPECT_EQ(app->options().package_name, "");

  App* default_app = App::Create();
  ASSERT_NE(default_app, nullptr);
  EXPECT_EQ(default_app->options().database_url, "https://db.example");
  EXPECT_EQ(default_app->heartbeat_key(), "com.example.__NIMBUSAPP_DEFAULT");
  WaitForHeartbeat(default_app);
  EXPECT_TRUE(std::filesystem::is_regular_file(
      home_.path() + "/nimbus-heartbeat/heartbeats-comexample__NIMBUSAPP_DEFAULT"));
}

TEST_F(AppTest, ListsAppsByNameWithTheDefaultAppLast) {
  App* b = App::Create(CompleteOptions(), "b");
  App* default_app = App::Create(CompleteOptions());
  App* a = App::Create(CompleteOptions(), "a");
  App* upper = App::Create(CompleteOptions(), "Z");
  EXPECT_EQ(App::GetApps(), (std::vector<App*>{upper, a, b, default_app}));
  delete default_app;
  EXPECT_EQ(App::GetApps(), (std::vector<App*>{upper, a, b}));
}

TEST_F(AppTest, LogsTodaysHeartbeatUnderItsKey) {
  App* app = App::Create(CompleteOptions(), "x");
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->heartbeat_key(), ".x");
  WaitForHeartbeat(app);

  heartbeat::LoggedHeartbeats record;
  ASSERT_TRUE(heartbeat::HeartbeatStorage(".x", nullptr).ReadTo(&record));
  const std::string today = heartbeat::DateProviderImpl().GetDate();
  const std::string agent = App::GetUserAgentCopy();
  EXPECT_NE(agent.find("nimbus-cpp/13.12.0"), std::string::npos) << agent;
  heartbeat::LoggedHeartbeats expected;
  expected.last_logged_date = today;
  expected.heartbeats[agent] = {today};
  EXPECT_EQ(record, expected);
  EXPECT_EQ(heartbeat::testing::ListFolder(home_.path() + "/nimbus-heartbeat"),
            std::vector<std::string>{"heartbeats-x"});
}

// A program that ends right after creating its app (a short run) still stores the day's
// heartbeat: process exit waits for the app's heartbeat worker.
TEST_F(AppTest, AProcessEndingRightAfterCreationStillStoresItsHeartbeat) {
  // The child process re-runs this test from its start (no fork of a threaded process), so it
  // takes this process's data folder from the environment rather than its own fixture's.
  constexpr char kParentHome[] = "TERVALA_TEST_PARENT_DATA_HOME";
  if (!tervala_testing::EnvironmentValue(kParentHome)) {
    tervala_testing::SetEnvironmentValue(kParentHome, home_.path());
  }
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // exit() skips this child's fixture, so its own folders go first (the working
        // folder once the child has left it: Windows removes no folder in use).
        std::filesystem::current_path(saved_cwd_);
        std::filesystem::remove_all(tervala_testing::PathFromUtf8(home_.path()));
        std::filesystem::remove_all(tervala_testing::PathFromUtf8(cwd_.path()));
        SetLocalAppDataFolder(*tervala_testing::EnvironmentValue(kParentHome));
        App::Create(CompleteOptions(), "quick");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  tervala_testing::SetEnvironmentValue(kParentHome, std::nullopt);

  heartbeat::LoggedHeartbeats record;
  ASSERT_TRUE(heartbeat::HeartbeatStorage(".quick", nullptr).ReadTo(&record));
  EXPECT_EQ(record.last_logged_date, heartbeat::DateProviderImpl().GetDate());
  EXPECT_EQ(record.heartbeats.size(), 1u);
}

TEST_F(AppTest, AddingAndDeletingAnAppAreLoggedAtDebugLevel) {
  AppOptions options = CompleteOptions();
  options.storage_bucket = "bucket";
  App* app = App::Create(options, "logged");
  ASSERT_NE(app, nullptr);
  const auto address = static_cast<unsigned>(reinterpret_cast<uintptr_t>(app) & 0xffffffffu);
  char added[256];
  std::snprintf(added, sizeof(added),
                "Added app name=logged: options, api_key=api-key, app_id=app-id, database_url=, "
                "messaging_sender_id=, storage_bucket=bucket, project_id=project (0x%08x)",
                address);
  char deleting[64];
  std::snprintf(deleting, sizeof(deleting), "Deleting app logged (0x%08x)", address);
  EXPECT_EQ(log_.Count(kLogLevelDebug, added), 1);
  delete app;
  EXPECT_EQ(log_.Count(kLogLevelDebug, deleting), 1);
}

// Deleting an app right after creating it still stores the day's heartbeat it queued.
TEST_F(AppTest, DeletingAnAppAtOnceStillStoresItsHeartbeat) {
  for (const char* name : {"gone1", "gone2", "gone3"}) {
    delete App::Create(CompleteOptions(), name);
    heartbeat::LoggedHeartbeats record;
    ASSERT_TRUE(heartbeat::HeartbeatStorage(std::string(".") + name, nullptr).ReadTo(&record));
    EXPECT_EQ(record.last_logged_date, heartbeat::DateProviderImpl().GetDate()) << name;
  }
}

// A heartbeat worker that logs while the process ends (here: its data folder cannot be
// made) still finds the process-wide logger alive.
TEST_F(AppTest, AWorkerLoggingWhileTheProcessEndsFindsTheLoggerAlive) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const std::string blocker = home_.path() + "/not-a-folder";
        heartbeat::testing::WriteFileBytes(blocker, "x");
        SetLocalAppDataFolder(blocker);
        App::Create(CompleteOptions(), "ending");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// From creation to the payload: the app's first heartbeat leaves as the payload JSON.
TEST_F(AppTest, TheFirstHeartbeatBecomesThePayload) {
  App::RegisterLibrary("vela-nimbus-core", "4.15.0");
  App* app = App::Create(CompleteOptions());
  ASSERT_NE(app, nullptr);
  WaitForHeartbeat(app);
  auto controller = app->GetHeartbeatController();
  const std::string agent = App::GetUserAgentCopy();
  const std::string today = heartbeat::DateProviderImpl().GetDate();

  EXPECT_EQ(controller->TakeTodaysHeartbeatAgent(), agent);
  app->LogHeartbeat();  // today is logged already: nothing changes
  ASSERT_TRUE(controller->WaitUntilIdle(kWaitMs));
  heartbeat::LoggedHeartbeats record;
  ASSERT_TRUE(heartbeat::HeartbeatStorage(app->heartbeat_key(), nullptr).ReadTo(&record));
  EXPECT_EQ(record.last_logged_date, today);
  EXPECT_TRUE(record.heartbeats.empty());

  // A stored heartbeat of another day goes out with the payload.
  record.heartbeats[agent] = {"2000-01-01"};
  ASSERT_TRUE(heartbeat::HeartbeatStorage(app->heartbeat_key(), nullptr).Write(record));
  const std::string payload = controller->TakeStoredHeartbeatsPayload();
  EXPECT_EQ(
      heartbeat::DecodeAndUncompress(payload),
      R"({"heartbeats":[{"agent":")" + agent + R"(","dates":["2000-01-01"]}],"version":"2"})");
}

TEST_F(AppTest, TheLastAppTakesTheRegistriesWithIt) {
  App::RegisterLibrary("vela-nimbus-core", "4.15.0");
  App* first = App::Create(CompleteOptions(), "first");
  App* second = App::Create(CompleteOptions(), "second");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLibraryVersion("vela-nimbus-core"), "4.15.0");
  EXPECT_TRUE(callback::IsInitialized());

  // A callback still queued when the last app goes is dropped without running.
  std::atomic<bool> ran{false};
  callback::AddCallback(std::make_unique<callback::CallbackStdFunction>([&ran] { ran = true; }));

  delete first;
  EXPECT_TRUE(callback::IsInitialized());
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp"), kSdkVersion);
  delete second;
  EXPECT_FALSE(callback::IsInitialized());
  EXPECT_FALSE(ran);
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp"), "");
  EXPECT_EQ(GetLibraryVersion("vela-nimbus-core"), "");

  // The next app rebuilds the user agent from scratch.
  App* again = App::Create(CompleteOptions(), "again");
  ASSERT_NE(again, nullptr);
  const std::string agent = App::GetUserAgentCopy();
  EXPECT_EQ(agent.find("vela-nimbus-core"), std::string::npos) << agent;
  EXPECT_EQ(agent.rfind("nimbus-cpp/13.12.0 ", 0), 0u) << agent;
}

int g_cleanup_calls = 0;
InitResult CreateHook(App* /*app*/) { return static_cast<InitResult>(7); }
int g_destroy_calls = 0;
void DestroyHook(App* /*app*/) { ++g_destroy_calls; }

TEST_F(AppTest, DeletingAnAppRunsItsCleanupAndInitializerHooks) {
  static AppInitializer record{"app_test.hooks", &CreateHook, &DestroyHook, true};
  RegisterAppInitializer(&record);
  SetAppInitializerEnabled(record.name, true);
  g_cleanup_calls = 0;
  g_destroy_calls = 0;

  App* app = App::Create(CompleteOptions(), "hooked");
  ASSERT_NE(app, nullptr);
  SetAppInitializerEnabled(record.name, false);
  SetAppInitializerEnabled(record.name, true);
  EXPECT_EQ(app->init_results(), (AppInitResults{{"app_test.hooks", 7}}));
  CleanupList* cleanup = CleanupList::FindByOwner(app);
  ASSERT_NE(cleanup, nullptr);
  int object = 0;
  cleanup->RegisterObject(&object, [](void*) { ++g_cleanup_calls; });
  EXPECT_NE(FindAppLogger("hooked"), nullptr);

  delete app;
  SetAppInitializerEnabled(record.name, false);
  EXPECT_EQ(g_cleanup_calls, 1);
  EXPECT_EQ(g_destroy_calls, 1);
  EXPECT_EQ(CleanupList::FindByOwner(app), nullptr);
  EXPECT_EQ(FindAppLogger("hooked"), nullptr);
}

TEST_F(AppTest, AControllerKeptPastItsAppDoesNothingMore) {
  // A folder in place of the app's heartbeat file: every heartbeat fails, so each task tries
  // again, and one run after an empty file has replaced the folder would fill the file.
  const std::filesystem::path file(heartbeat::HeartbeatStorage(".gone", nullptr).filename());
  std::filesystem::remove(file);  // The storage made it.
  std::filesystem::create_directory(file);
  App* app = App::Create(CompleteOptions(), "gone");
  ASSERT_NE(app, nullptr);
  WaitForHeartbeat(app);
  std::shared_ptr<heartbeat::HeartbeatController> controller = app->GetHeartbeatController();
  delete app;
  std::filesystem::remove(file);
  heartbeat::testing::WriteFileBytes(tervala_testing::PathToUtf8(file), "");
  // Its logger and date provider are gone with the app; the controller must not use them,
  // nor run anything more.
  controller->LogHeartbeat();
  EXPECT_EQ(controller->TakeStoredHeartbeatsPayload(), "");
  EXPECT_EQ(controller->TakeTodaysHeartbeatAgent(), "");
  EXPECT_FALSE(controller->WaitUntilIdle(100));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
}

TEST_F(AppTest, ThreadsCreateAndDeleteAppsOfTheirOwn) {
  constexpr int kThreads = 4;
  constexpr int kAppsPerThread = 5;
  std::vector<std::vector<App*>> created(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &created] {
      for (int i = 0; i < kAppsPerThread; ++i) {
        const std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
        created[t].push_back(App::Create(CompleteOptions(), name.c_str()));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  threads.clear();

  std::vector<App*> all;
  for (const auto& apps : created) {
    for (App* app : apps) {
      ASSERT_NE(app, nullptr);
      all.push_back(app);
    }
  }
  EXPECT_EQ(App::GetApps(), all);  // t0-0 ... t3-4 is also name order
  for (App* app : all) WaitForHeartbeat(app);
  EXPECT_EQ(heartbeat::testing::ListFolder(home_.path() + "/nimbus-heartbeat").size(),
            static_cast<size_t>(kThreads * kAppsPerThread));

  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &created] {
      for (App* app : created[t]) delete app;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_TRUE(App::GetApps().empty());
  EXPECT_FALSE(callback::IsInitialized());
}

TEST_F(AppTest, ThreadsCreatingOneNameShareOneApp) {
  constexpr int kThreads = 4;
  std::vector<App*> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &results] { results[t] = App::Create(CompleteOptions(), "shared"); });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_NE(results[0], nullptr);
  for (App* app : results) EXPECT_EQ(app, results[0]);
  EXPECT_EQ(App::GetApps(), std::vector<App*>{results[0]});
  EXPECT_EQ(log_.Count(kLogLevelError, "App shared already created, options will not be applied."),
            kThreads - 1);
  EXPECT_EQ(log_.CountAtLeast(kLogLevelAssert), 0);
}

}  // namespace
}  // namespace nimbus
