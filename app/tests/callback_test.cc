#include "app/callback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/semaphore.h"
#include "app/tests/captured_log.h"

namespace nimbus::callback {
namespace {

// A callback that counts its runs and notes its destruction.
class Probe : public Callback {
 public:
  Probe(int* runs, int* destroyed) : runs_(runs), destroyed_(destroyed) {}
  ~Probe() override { ++*destroyed_; }
  void Run() override { ++*runs_; }

 private:
  int* runs_;
  int* destroyed_;
};

std::unique_ptr<Callback> Function(std::function<void()> function) {
  return std::make_unique<CallbackStdFunction>(std::move(function));
}

// Every test leaves the process-wide module off, as it found it.
class CallbackModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(IsInitialized()); }
  void TearDown() override { EXPECT_FALSE(IsInitialized()); }

  int runs_ = 0;
  int destroyed_ = 0;
};

TEST_F(CallbackModuleTest, QueuedCallbacksHoldReferencesUntilPolled) {
  CapturedLog log(kLogLevelDebug);
  Initialize();  // The reference an app holds.
  AddCallback(std::make_unique<Probe>(&runs_, &destroyed_));
  AddCallback(std::make_unique<Probe>(&runs_, &destroyed_));
  PollCallbacks();
  EXPECT_EQ(runs_, 2);
  EXPECT_EQ(destroyed_, 2);
  // Only the app's reference is left: one Terminate turns the module off, quietly.
  EXPECT_TRUE(IsInitialized());
  Terminate(false);
  EXPECT_FALSE(IsInitialized());
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(CallbackModuleTest, LastReferenceDiscardsPendingCallbacksWithWarning) {
  CapturedLog log;
  Initialize();
  AddCallback(std::make_unique<Probe>(&runs_, &destroyed_));
  AddCallback(std::make_unique<Probe>(&runs_, &destroyed_));
  // Count 3: two releases leave the module on.
  Terminate(false);
  Terminate(false);
  EXPECT_TRUE(IsInitialized());
  EXPECT_EQ(destroyed_, 0);
  Terminate(false);
  EXPECT_FALSE(IsInitialized());
  EXPECT_EQ(runs_, 0);
  EXPECT_EQ(destroyed_, 2);
  EXPECT_EQ(log.Count(kLogLevelWarning, "Callback dispatcher shut down with 2 pending callbacks"),
            1);
}

TEST_F(CallbackModuleTest, FlushDiscardsQueuedCallbacksAndTheirReferences) {
  CapturedLog log;
  Initialize();
  for (int i = 0; i < 3; ++i) AddCallback(std::make_unique<Probe>(&runs_, &destroyed_));
  Terminate(true);  // 4 - (1 + 3)
  EXPECT_FALSE(IsInitialized());
  EXPECT_EQ(runs_, 0);
  EXPECT_EQ(destroyed_, 3);
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(CallbackModuleTest, RemovedCallbackIsNotRunButCountsAsTaken) {
  CapturedLog log;
  Initialize();
  CallbackHandle removed = AddCallback(std::make_unique<Probe>(&runs_, &destroyed_));
  bool other_ran = false;
  AddCallback(Function([&] { other_ran = true; }));
  RemoveCallback(removed);
  EXPECT_EQ(destroyed_, 1);
  PollCallbacks();
  EXPECT_EQ(runs_, 0);
  EXPECT_TRUE(other_ran);
  Terminate(false);
  EXPECT_FALSE(IsInitialized());
  EXPECT_TRUE(log.Messages().empty());
  // A handle kept after its module went away is harmless.
  RemoveCallback(removed);
  removed.reset();
}

// While a poll runs on another thread, a callback removes a queued one and queues another,
// and this thread does the same: removed callbacks never run, added ones run in the same
// poll in queue order.
TEST_F(CallbackModuleTest, CallbacksComeAndGoWhileAnotherThreadPolls) {
  Initialize();
  std::vector<std::string> ran;  // Poll thread only, read after it ended.
  Semaphore first_running(0);
  Semaphore go_on(0);
  CallbackHandle removed_by_callback;
  AddCallback(Function([&] {
    ran.push_back("first");
    first_running.Post();
    go_on.Wait();
    RemoveCallback(removed_by_callback);
    AddCallback(Function([&] { ran.push_back("added by callback"); }));
  }));
  removed_by_callback = AddCallback(std::make_unique<Probe>(&runs_, &destroyed_));
  CallbackHandle removed_here = AddCallback(Function([&] { ran.push_back("removed here"); }));
  std::thread poller([] { PollCallbacks(); });
  ASSERT_TRUE(first_running.TimedWait(10000));
  RemoveCallback(removed_here);
  AddCallback(Function([&] { ran.push_back("added here"); }));
  go_on.Post();
  poller.join();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "added here", "added by callback"}));
  EXPECT_EQ(runs_, 0);
  EXPECT_EQ(destroyed_, 1);
  Terminate(false);
}

TEST_F(CallbackModuleTest, ReleasingTooOftenIsReportedAndClamped) {
  CapturedLog log(kLogLevelDebug);
  Terminate(false);
  EXPECT_EQ(log.Count(kLogLevelWarning, "Callback module already shut down"), 1);

  Initialize();
  AddCallback(std::make_unique<Probe>(&runs_, &destroyed_));
  Terminate(false);  // 1 left, held by the queued callback.
  Terminate(true);   // Discards it and drops 2.
  EXPECT_FALSE(IsInitialized());
  EXPECT_EQ(log.Count(kLogLevelDebug, "WARNING: Callback module ref count = -1"), 1);
  EXPECT_EQ(runs_, 0);
  EXPECT_EQ(destroyed_, 1);
}

TEST_F(CallbackModuleTest, ModuleThatIsOffDoesNothing) {
  CapturedLog log(kLogLevelVerbose);
  PollCallbacks();
  RemoveCallback(nullptr);
  EXPECT_FALSE(IsInitialized());
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(CallbackModuleTest, CallbacksQueuedWhileDispatchingRunInTheSamePoll) {
  std::vector<int> order;
  Initialize();
  AddCallback(Function([&] {
    order.push_back(1);
    AddCallback(Function([&] { order.push_back(3); }));
  }));
  AddCallback(Function([&] { order.push_back(2); }));
  PollCallbacks();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  Terminate(false);
}

TEST_F(CallbackModuleTest, BlockingCallbackWaitsForTheDispatchingThread) {
  Initialize();
  PollCallbacks();  // This thread becomes the dispatching thread.
  const std::thread::id dispatching = std::this_thread::get_id();

  std::thread::id ran_on;
  std::atomic<bool> returned{false};
  std::thread caller([&] {
    AddBlockingCallback(Function([&] { ran_on = std::this_thread::get_id(); }));
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned) << "returned before the dispatching thread polled";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!returned && std::chrono::steady_clock::now() < deadline) {
    PollCallbacks();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  caller.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(ran_on, dispatching);
  Terminate(false);
}

TEST_F(CallbackModuleTest, DispatchingThreadRunsAtOnceOthersQueue) {
  Initialize();
  PollCallbacks();  // This thread becomes the dispatching thread.
  bool ran = false;
  EXPECT_EQ(RunNowOrQueue(Function([&] { ran = true; })), nullptr);
  EXPECT_TRUE(ran);
  ran = false;
  AddBlockingCallback(Function([&] { ran = true; }));  // Would wait for itself otherwise.
  EXPECT_TRUE(ran);

  bool queued_ran = false;
  CallbackHandle handle;
  std::thread([&] { handle = RunNowOrQueue(Function([&] { queued_ran = true; })); }).join();
  EXPECT_NE(handle, nullptr);
  EXPECT_FALSE(queued_ran);
  PollCallbacks();
  EXPECT_TRUE(queued_ran);
  Terminate(false);
}

TEST(BlockingCallbackTest, ReleasesTheWaiterEvenWhenDiscarded) {
  int runs = 0;
  int destroyed = 0;
  auto done = std::make_shared<Semaphore>(0);
  {
    BlockingCallback callback(std::make_unique<Probe>(&runs, &destroyed), done);
    EXPECT_FALSE(done->TryWait());
  }
  EXPECT_TRUE(done->TryWait());
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(destroyed, 1);
}

TEST(CallbackModuleStressTest, CallbacksFromManyThreadsAllRunOnce) {
  Initialize();
  std::atomic<int> runs{0};
  std::atomic<bool> adding{true};
  std::vector<std::thread> adders;
  for (int t = 0; t < 4; ++t) {
    adders.emplace_back([&] {
      for (int i = 0; i < 200; ++i) AddCallback(Function([&] { ++runs; }));
    });
  }
  std::thread poller([&] {
    while (adding) PollCallbacks();
    PollCallbacks();
  });
  for (auto& adder : adders) adder.join();
  adding = false;
  poller.join();
  EXPECT_EQ(runs, 800);
  Terminate(false);
  EXPECT_FALSE(IsInitialized());
}

}  // namespace
}  // namespace nimbus::callback
