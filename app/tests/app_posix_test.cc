// Apps in a process that forks.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/app.h"
#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/mutex.h"
#include "app/process_locks.h"
#include "app/tests/captured_log.h"

namespace nimbus {
namespace {

// A child forked from a program with apps that ends with exit() (as after a failed exec)
// ends at once: the exit hook waits for the heartbeats of the process that made the apps,
// whose workers the child does not have, and it must not even take the app registry's
// lock, which another thread held at the fork and nobody in the child will release.
TEST(AppForkTest, AChildEndingWithExitWaitsForNothingOfItsParent) {
  heartbeat::testing::TestDataHome home;
  CapturedLog log;
  AppOptions options;
  options.app_id = "app-id";
  options.api_key = "api-key";
  options.project_id = "project";
  App* app = App::Create(options, "forking");
  ASSERT_NE(app, nullptr);
  // Nothing of the parent's worker (a thread the child does not have) is under way.
  ASSERT_TRUE(app->GetHeartbeatController()->WaitUntilIdle(10000));

  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    MutexLock lock(AppRegistryLock());
    held = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) std::exit(0);
  release = true;
  holder.join();
  ASSERT_GT(child, 0);

  int status = 0;
  pid_t ended = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (ended == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_EQ(ended, child) << "the child was still running after 30 s";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  delete app;
}

}  // namespace
}  // namespace nimbus
