#include "app/app_initializer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <regex>
#include <string>
#include <vector>

#include "app/tests/captured_log.h"

namespace nimbus {
namespace {

// Hook calls, as "<hook> <module>", in order.
std::vector<std::string> g_calls;

// Apps are opaque here: only their addresses travel.
int g_app_storage = 0;
App* const kApp = reinterpret_cast<App*>(&g_app_storage);

InitResult CreateA(App* app) {
  g_calls.push_back(app == kApp ? "create a" : "create a: wrong app");
  return kInitResultSuccess;
}
InitResult CreateB(App* /*app*/) {
  g_calls.push_back("create b");
  return static_cast<InitResult>(3);
}
void DestroyA(App* /*app*/) { g_calls.push_back("destroy a"); }
InitResult CreateOff(App* /*app*/) {
  g_calls.push_back("create off");
  return kInitResultSuccess;
}

// The table lives as long as the process, so each run of a test registers records of its
// own, under names of its own, and every record is disabled again afterwards: other tests
// creating apps then see no results.
class AppInitializerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    ++run_;
  }
  void TearDown() override { SetAllAppInitializersEnabled(false); }

  // A record kept for the life of the process, named "<base>.<run>".
  AppInitializer* Record(const std::string& base, InitResult (*create)(App*), void (*destroy)(App*),
                         bool enabled) {
    static std::deque<std::string> names;
    static std::deque<AppInitializer> records;
    names.push_back(Name(base));
    records.push_back(AppInitializer{names.back().c_str(), create, destroy, enabled});
    return &records.back();
  }
  std::string Name(const std::string& base) const { return base + "." + std::to_string(run_); }

 private:
  static inline int run_ = 0;
};

TEST_F(AppInitializerTest, EnabledHooksRunInNameOrder) {
  RegisterAppInitializer(Record("order_b", &CreateB, nullptr, true));
  RegisterAppInitializer(Record("order_a", &CreateA, &DestroyA, true));
  RegisterAppInitializer(Record("order_c", nullptr, nullptr, true));

  AppInitResults results{{"stale", 1}};
  NotifyAppCreated(kApp, &results);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"create a", "create b"}));
  EXPECT_EQ(results,
            (AppInitResults{{Name("order_a"), 0}, {Name("order_b"), 3}, {Name("order_c"), 0}}));

  g_calls.clear();
  NotifyAppDestroyed(kApp);
  EXPECT_EQ(g_calls, std::vector<std::string>{"destroy a"});
}

TEST_F(AppInitializerTest, DisabledRecordsAreSkipped) {
  const std::string name = Name("switch");
  RegisterAppInitializer(Record("switch", &CreateOff, nullptr, false));
  EXPECT_FALSE(IsAppInitializerEnabled(name.c_str()));
  AppInitResults results;
  NotifyAppCreated(kApp, &results);
  EXPECT_TRUE(results.empty());
  EXPECT_TRUE(g_calls.empty());

  SetAppInitializerEnabled(name.c_str(), true);
  EXPECT_TRUE(IsAppInitializerEnabled(name.c_str()));
  NotifyAppCreated(kApp, &results);
  EXPECT_EQ(results, (AppInitResults{{name, 0}}));
  EXPECT_EQ(g_calls, std::vector<std::string>{"create off"});
}

TEST_F(AppInitializerTest, RegistrationAndSwitchingAreLogged) {
  CapturedLog log(kLogLevelDebug);
  const std::string name = Name("logged");
  RegisterAppInitializer(Record("logged", nullptr, nullptr, true));
  RegisterAppInitializer(Record("logged", &CreateOff, nullptr, true));
  EXPECT_EQ(log.Count(kLogLevelDebug, "Registered app initializer " + name + " (enabled: 1)"), 1);
  EXPECT_EQ(log.Count(kLogLevelWarning,
                      name + " is already registered for callbacks on app initialization,  "
                             "ignoring."),
            1);
  AppInitResults results;
  NotifyAppCreated(kApp, &results);
  EXPECT_TRUE(g_calls.empty());  // The first record stayed.

  SetAppInitializerEnabled("logged.absent", true);
  SetAppInitializerEnabled("logged.absent", false);
  EXPECT_EQ(log.Count(kLogLevelDebug, "App initializer logged.absent not found, failed to enable."),
            2);
  EXPECT_FALSE(IsAppInitializerEnabled("logged.absent"));

  SetAppInitializerEnabled(name.c_str(), false);
  EXPECT_EQ(log.Count(kLogLevelDebug, "Disabling app initializer " + name), 1);
  EXPECT_FALSE(IsAppInitializerEnabled(name.c_str()));

  SetAllAppInitializersEnabled(true);
  EXPECT_EQ(log.Count(kLogLevelDebug, "Enabling all app initializers"), 1);
  EXPECT_EQ(log.Count(kLogLevelDebug, "Enable " + name), 1);
  EXPECT_TRUE(IsAppInitializerEnabled(name.c_str()));
}

TEST(BuildUniqueNameTest, EachCallGetsItsOwnCounter) {
  int object = 0;
  const std::string first = BuildUniqueName("module_", &object);
  const std::string second = BuildUniqueName("module_", &object);
  const std::regex shape("module_0x[0-9a-f]{16}_([0-9]+)");
  std::smatch first_match;
  std::smatch second_match;
  ASSERT_TRUE(std::regex_match(first, first_match, shape)) << first;
  ASSERT_TRUE(std::regex_match(second, second_match, shape)) << second;
  EXPECT_EQ(first.substr(0, first.rfind('_')), second.substr(0, second.rfind('_')));
  EXPECT_EQ(std::stoi(second_match[1]), std::stoi(first_match[1]) + 1);
}

// Steps for ModuleInitializer, counting their calls.
int g_step_calls[3];
InitResult StepOk(App*, void*) {
  ++g_step_calls[0];
  return kInitResultSuccess;
}
InitResult StepNotYet(App*, void*) {
  ++g_step_calls[1];
  return static_cast<InitResult>(2);
}
InitResult StepLast(App*, void* context) {
  ++g_step_calls[2];
  ++*static_cast<int*>(context);
  return kInitResultSuccess;
}
InitResult StepMissingDependency(App*, void*) { return kInitResultFailedMissingDependency; }

class ModuleInitializerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int& calls : g_step_calls) calls = 0;
  }
};

TEST_F(ModuleInitializerTest, AllStepsSucceedingCompleteTheFuture) {
  ModuleInitializer initializer;
  EXPECT_EQ(initializer.InitializeLastResult().status(), kFutureStatusInvalid);
  int context = 0;
  const ModuleInitializer::InitializerFn steps[] = {&StepOk, &StepLast};
  const Future future = initializer.Initialize(kApp, &context, steps, 2);
  EXPECT_EQ(future.status(), kFutureStatusComplete);
  EXPECT_EQ(future.error(), 0);
  EXPECT_EQ(future.error_message(), "");
  EXPECT_EQ(context, 1);
  EXPECT_EQ(initializer.InitializeLastResult().GetHandle().id(), future.GetHandle().id());
  // Done once: a second call runs nothing.
  initializer.Initialize(kApp, &context, &StepLast);
  EXPECT_EQ(context, 1);
}

TEST_F(ModuleInitializerTest, StepThatCannotFinishLeavesTheSameFuturePending) {
  ModuleInitializer initializer;
  int context = 0;
  const ModuleInitializer::InitializerFn steps[] = {&StepOk, &StepNotYet, &StepLast};
  const Future first = initializer.Initialize(kApp, &context, steps, 3);
  EXPECT_EQ(first.status(), kFutureStatusPending);
  EXPECT_EQ(g_step_calls[0], 1);
  EXPECT_EQ(g_step_calls[1], 1);
  EXPECT_EQ(g_step_calls[2], 0);

  const Future again = initializer.Initialize(kApp, &context, steps, 3);
  EXPECT_EQ(again.GetHandle().id(), first.GetHandle().id());
  EXPECT_EQ(again.status(), kFutureStatusPending);
  EXPECT_EQ(g_step_calls[0], 1);
  EXPECT_EQ(g_step_calls[1], 1);
}

TEST_F(ModuleInitializerTest, MisuseIsReportedAsAssertions) {
  CapturedLog log;
  ModuleInitializer initializer;
  EXPECT_EQ(initializer.Initialize(nullptr, nullptr, &StepOk).status(), kFutureStatusInvalid);
  EXPECT_EQ(initializer.Initialize(kApp, nullptr, nullptr).status(), kFutureStatusInvalid);
  EXPECT_EQ(log.Count(kLogLevelAssert, "app != nullptr"), 1);
  EXPECT_EQ(log.Count(kLogLevelAssert, "init_fn != nullptr"), 1);
  EXPECT_EQ(g_step_calls[0], 0);

  const Future future = initializer.Initialize(kApp, nullptr, &StepMissingDependency);
  EXPECT_EQ(log.Count(kLogLevelAssert, "init_result != kInitResultFailedMissingDependency"), 1);
  EXPECT_EQ(future.status(), kFutureStatusPending);
}

}  // namespace
}  // namespace nimbus
