#include "app/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/semaphore.h"
#include "app/tests/thread_cpu_clock.h"

namespace nimbus::scheduler {
namespace {

using std::chrono::milliseconds;

// Each test declares its scheduler after what its callbacks use, so the scheduler's
// destructor stops the worker before those go away.

// Long enough for a loaded machine; only reached when something is broken.
constexpr int kPatienceMs = 10000;

// Records the order in which tasks ran.
class RunLog {
 public:
  void Add(int value) {
    std::lock_guard<std::mutex> guard(mutex_);
    values_.push_back(value);
  }
  std::vector<int> Values() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return values_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int> values_;
};

// Posts a semaphore when destroyed: tells a test that a callback was let go of.
struct DestructionSignal {
  explicit DestructionSignal(std::shared_ptr<Semaphore> target) : semaphore(std::move(target)) {}
  ~DestructionSignal() { semaphore->Post(); }
  std::shared_ptr<Semaphore> semaphore;
};

TEST(SchedulerTest, RunsByDueTimeThenBySchedulingOrder) {
  Semaphore gate(0);
  Semaphore done(0);
  RunLog log;
  Scheduler scheduler;
  // Holds the worker while the requests are queued, so only their order decides.
  scheduler.Schedule([&] { gate.Wait(); });
  scheduler.Schedule(
      [&] {
        log.Add(300);
        done.Post();
      },
      600);
  scheduler.Schedule([&] { log.Add(100); }, 200);
  scheduler.Schedule([&] { log.Add(200); }, 400);
  std::vector<int> expected;
  for (int i = 0; i < 20; ++i) {
    scheduler.Schedule([&log, i] { log.Add(i); });  // Mostly equal due times.
    expected.push_back(i);
  }
  expected.insert(expected.end(), {100, 200, 300});
  gate.Post();
  ASSERT_TRUE(done.TimedWait(kPatienceMs));
  EXPECT_EQ(log.Values(), expected);
}

TEST(SchedulerTest, ZeroDelayRunsOnTheWorkerNeverInsideSchedule) {
  Semaphore done(0);
  std::thread::id ran_on;
  Scheduler scheduler;
  scheduler.Schedule([&] {
    ran_on = std::this_thread::get_id();
    done.Post();
  });
  ASSERT_TRUE(done.TimedWait(kPatienceMs));
  EXPECT_NE(ran_on, std::this_thread::get_id());
  EXPECT_NE(ran_on, std::thread::id());
}

TEST(SchedulerTest, RepeatingRequestRunsUntilCancelled) {
  Semaphore ran(0);
  std::atomic<int> runs{0};
  Scheduler scheduler;
  ScheduleHandle handle = scheduler.Schedule(
      [&] {
        ++runs;
        ran.Post();
      },
      0, 10);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(ran.TimedWait(kPatienceMs));
  EXPECT_FALSE(handle.IsCancelled());
  EXPECT_TRUE(handle.Cancel());  // Even though it has run.
  EXPECT_TRUE(handle.IsCancelled());
  EXPECT_TRUE(handle.IsTriggered());
  // Cancel waited for a run in progress, so the count is final now.
  const int final_runs = runs;
  std::this_thread::sleep_for(milliseconds(60));
  EXPECT_EQ(runs, final_runs);
  EXPECT_FALSE(handle.Cancel());
}

// The next run of a repeating request is due one interval after this run was due, not after
// it ended: a callback that takes 300 ms of a 300 ms interval still runs about every 300 ms
// (600 ms each if its own time were added, so four intervals could not take under 2.4 s). The
// bound leaves more than a second for a loaded machine.
TEST(SchedulerTest, RepeatIntervalCountsFromTheDueTimeNotTheEndOfTheRun) {
  using std::chrono::steady_clock;
  std::mutex mutex;
  std::vector<steady_clock::time_point> starts;
  Semaphore fifth(0);
  Scheduler scheduler;
  ScheduleHandle handle = scheduler.Schedule(
      [&] {
        {
          std::lock_guard<std::mutex> guard(mutex);
          starts.push_back(steady_clock::now());
          if (starts.size() == 5) fifth.Post();
        }
        std::this_thread::sleep_for(milliseconds(300));
      },
      0, 300);
  ASSERT_TRUE(fifth.TimedWait(kPatienceMs));
  handle.Cancel();
  std::lock_guard<std::mutex> guard(mutex);
  EXPECT_LT(starts[4] - starts[0], milliseconds(2350));
}

TEST(SchedulerTest, CallbackMayCancelItsOwnRequest) {
  Semaphore cancelled(0);
  std::mutex handle_mutex;
  ScheduleHandle handle;
  std::atomic<int> runs{0};
  std::unique_lock<std::mutex> hold(handle_mutex);
  Scheduler scheduler;
  handle = scheduler.Schedule(
      [&] {
        if (++runs < 2) return;
        std::lock_guard<std::mutex> guard(handle_mutex);
        EXPECT_TRUE(handle.Cancel());
        EXPECT_TRUE(handle.IsCancelled());
        cancelled.Post();
      },
      0, 5);
  hold.unlock();
  ASSERT_TRUE(cancelled.TimedWait(kPatienceMs));
  std::this_thread::sleep_for(milliseconds(40));
  EXPECT_EQ(runs, 2);
}

TEST(SchedulerTest, CancelTellsWhetherItStoppedARequest) {
  Semaphore ran(0);
  Scheduler scheduler;
  ScheduleHandle one_shot = scheduler.Schedule([&] { ran.Post(); });
  ASSERT_TRUE(ran.TimedWait(kPatienceMs));
  // The flag is set when the callback returns; Cancel waits for that.
  EXPECT_FALSE(one_shot.Cancel());
  EXPECT_TRUE(one_shot.IsTriggered());
  EXPECT_FALSE(one_shot.IsCancelled());

  std::atomic<bool> late_ran{false};
  ScheduleHandle later = scheduler.Schedule([&] { late_ran = true; }, 60 * 60 * 1000);
  EXPECT_TRUE(later.Cancel());
  EXPECT_FALSE(later.Cancel());
  EXPECT_TRUE(later.IsCancelled());
  EXPECT_FALSE(later.IsTriggered());

  ScheduleHandle empty;
  EXPECT_FALSE(empty.Cancel());
  EXPECT_FALSE(empty.IsCancelled());
  EXPECT_FALSE(empty.IsTriggered());
}

TEST(SchedulerTest, CancelledRequestIsSkippedWhenDue) {
  Semaphore gate(0);
  Semaphore done(0);
  std::atomic<bool> cancelled_ran{false};
  Scheduler scheduler;
  scheduler.Schedule([&] { gate.Wait(); });
  ScheduleHandle handle = scheduler.Schedule([&] { cancelled_ran = true; });
  scheduler.Schedule([&] { done.Post(); });
  EXPECT_TRUE(handle.Cancel());
  gate.Post();
  ASSERT_TRUE(done.TimedWait(kPatienceMs));
  EXPECT_FALSE(cancelled_ran);
  EXPECT_FALSE(handle.IsTriggered());
}

TEST(SchedulerTest, ShutdownTwiceThenScheduleNeverRuns) {
  auto released = std::make_shared<Semaphore>(0);
  std::atomic<bool> ran{false};
  {
    Semaphore first(0);
    Scheduler scheduler;
    scheduler.Schedule([&] { first.Post(); });
    ASSERT_TRUE(first.TimedWait(kPatienceMs));
    scheduler.Schedule([&ran] { ran = true; }, 60 * 60 * 1000);  // Still queued at shutdown.
    scheduler.Shutdown();
    scheduler.Shutdown();
    auto signal = std::make_shared<DestructionSignal>(released);
    ScheduleHandle handle = scheduler.Schedule([&ran, signal] { ran = true; });
    signal.reset();
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_FALSE(handle.IsTriggered());
    EXPECT_FALSE(released->TryWait());
  }
  // The destructor let go of the request that never ran.
  EXPECT_TRUE(released->TryWait());
  EXPECT_FALSE(ran);
}

TEST(SchedulerTest, ShutdownStopsAWorkerKeptBusy) {
  Semaphore ran(0);
  std::atomic<int> runs{0};
  // Each run takes longer than the interval, so the worker never waits.
  Scheduler scheduler;
  scheduler.Schedule(
      [&] {
        ++runs;
        ran.Post();
        std::this_thread::sleep_for(milliseconds(3));
      },
      0, 1);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(ran.TimedWait(kPatienceMs));
  scheduler.Shutdown();
  const int final_runs = runs;
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(runs, final_runs);
}

TEST(SchedulerTest, SchedulerDestroyedByItsOwnCallback) {
  auto owner = std::make_shared<Scheduler>();
  auto released = std::make_shared<Semaphore>(0);
  auto signal = std::make_shared<DestructionSignal>(released);
  std::shared_ptr<Scheduler>* owner_slot = &owner;
  Semaphore scheduled(0);
  owner->Schedule([owner_slot, signal, &scheduled] {
    scheduled.Wait();
    owner_slot->reset();  // Runs the destructor on the worker itself.
  });
  signal.reset();
  scheduled.Post();
  // The callback is let go of after it returns; the worker then ends on its own.
  ASSERT_TRUE(released->TimedWait(kPatienceMs));
  EXPECT_EQ(owner, nullptr);
}

TEST(SchedulerTest, ConcurrentSchedulingAndShutdown) {
  std::atomic<int> runs{0};
  Semaphore all_ran(0);
  constexpr int kThreads = 4;
  constexpr int kEach = 100;
  Scheduler scheduler;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        scheduler.Schedule([&] {
          if (++runs == kThreads * kEach) all_ran.Post();
        });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(all_ran.TimedWait(kPatienceMs));
  // Two shutdowns at once: both return once the worker has ended.
  std::thread other([&] { scheduler.Shutdown(); });
  scheduler.Shutdown();
  other.join();
  EXPECT_EQ(runs, kThreads * kEach);
}

TEST(SchedulerTest, IdleWorkerUsesNoCpu) {
  Semaphore ready(0);
  std::unique_ptr<nimbus_testing::ThreadCpuClock> worker_clock;
  Scheduler scheduler;
  scheduler.Schedule([&] {
    worker_clock = nimbus_testing::ThreadCpuClock::OfCurrentThread();
    ready.Post();
  });
  ASSERT_TRUE(ready.TimedWait(kPatienceMs));
  std::this_thread::sleep_for(milliseconds(50));  // Let the worker settle into its wait.

  // Idle with nothing queued, then with one request due far in the future.
  double before = worker_clock->Milliseconds();
  ASSERT_GE(before, 0.0) << "the worker's CPU time cannot be read";
  std::this_thread::sleep_for(milliseconds(1000));
  EXPECT_LT(worker_clock->Milliseconds() - before, 50.0);

  ScheduleHandle far = scheduler.Schedule([] {}, 60 * 60 * 1000);
  std::this_thread::sleep_for(milliseconds(50));
  before = worker_clock->Milliseconds();
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_LT(worker_clock->Milliseconds() - before, 50.0);
  far.Cancel();
}

}  // namespace
}  // namespace nimbus::scheduler
