#include "app/mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "app/process_locks.h"
#include "app/semaphore.h"
#include "app/tests/captured_log.h"

namespace nimbus {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// True when `mutex` can be taken (and released again) by another thread within a second.
bool FreeForAnotherThread(Mutex& mutex) {
  Semaphore acquired(0);
  std::thread other([&] {
    mutex.Acquire();
    acquired.Post();
    mutex.Release();
  });
  const bool result = acquired.TimedWait(1000);
  if (!result) mutex.Release();  // Let the other thread finish.
  other.join();
  return result;
}

// A thread that ends holding a recursive Mutex abandons it: the next Acquire reports the
// failed wait as an assertion and returns, holding the mutex, which then works as before.
TEST(MutexTest, AcquiringAnAbandonedMutexIsAnAssertionAndReturns) {
  CapturedLog log;
  auto* mutex = new Mutex(Mutex::kModeRecursive);
  std::thread([&] { mutex->Acquire(); }).join();
  Semaphore returned(0);
  std::thread waiter([&] {
    mutex->Acquire();
    mutex->Release();
    returned.Post();
  });
  if (!returned.TimedWait(10000)) {
    waiter.detach();  // Stuck for good; the mutex is left to it.
    FAIL() << "Acquire of an abandoned mutex did not return";
  }
  waiter.join();
  EXPECT_EQ(log.Count(kLogLevelAssert, kMutexAcquireFailedMessage), 1);
  EXPECT_TRUE(FreeForAnotherThread(*mutex));
  delete mutex;
}

TEST(MutexTest, RecursiveMutexNestsOnOneThreadThenFreesForOthers) {
  Mutex mutex(Mutex::kModeRecursive);
  mutex.Acquire();
  mutex.Acquire();
  mutex.Release();

  // Still held once: another thread must wait.
  std::atomic<bool> taken{false};
  std::thread other([&] {
    mutex.Acquire();
    taken = true;
    mutex.Release();
  });
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_FALSE(taken);
  mutex.Release();
  other.join();
  EXPECT_TRUE(taken);
  EXPECT_TRUE(FreeForAnotherThread(mutex));
}

TEST(MutexTest, RecursiveMutexIgnoresReleaseByNonOwner) {
  Mutex mutex(Mutex::kModeRecursive);
  mutex.Acquire();
  std::thread([&] { mutex.Release(); }).join();
  std::atomic<bool> taken{false};
  std::thread other([&] {
    mutex.Acquire();
    taken = true;
    mutex.Release();
  });
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_FALSE(taken);
  mutex.Release();
  other.join();
}

TEST(MutexTest, NonRecursiveMutexMayBeReleasedByAnotherThread) {
  Mutex mutex(Mutex::kModeNonRecursive);
  mutex.Acquire();
  std::thread([&] { mutex.Release(); }).join();
  // Would block for ever had the release not counted.
  mutex.Acquire();
  mutex.Release();
  EXPECT_TRUE(FreeForAnotherThread(mutex));
}

TEST(MutexTest, NonRecursiveMutexExcludesOtherThreads) {
  Mutex mutex(Mutex::kModeNonRecursive);
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) {
        MutexLock lock(mutex);
        ++counter;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 4000);
}

TEST(MutexTest, ProcessLocksAreDistinctAndRecursive) {
  Mutex* locks[] = {&AppRegistryLock(), &CallbackLock(), &CleanupOwnerLock(), &AppInitializerLock(),
                    &FutureApiTableLock()};
  for (Mutex* lock : locks) {
    MutexLock outer(*lock);
    MutexLock inner(*lock);
  }
  for (size_t i = 0; i < std::size(locks); ++i) {
    for (size_t j = i + 1; j < std::size(locks); ++j) EXPECT_NE(locks[i], locks[j]);
  }
  EXPECT_EQ(&AppRegistryLock(), locks[0]);
}

TEST(SemaphoreTest, TimedWaitTimesOutThenSucceedsAfterPost) {
  Semaphore semaphore(0);
  auto start = steady_clock::now();
  EXPECT_FALSE(semaphore.TimedWait(300));
  const auto waited = steady_clock::now() - start;
  EXPECT_GE(waited, milliseconds(290));
  EXPECT_LT(waited, milliseconds(3000));

  semaphore.Post();
  start = steady_clock::now();
  EXPECT_TRUE(semaphore.TimedWait(300));
  EXPECT_LT(steady_clock::now() - start, milliseconds(200));
}

TEST(SemaphoreTest, TryWaitDrainsEveryCount) {
  Semaphore semaphore(2);
  semaphore.Post();
  EXPECT_TRUE(semaphore.TryWait());
  EXPECT_TRUE(semaphore.TryWait());
  EXPECT_TRUE(semaphore.TryWait());
  EXPECT_FALSE(semaphore.TryWait());
  const auto start = steady_clock::now();
  EXPECT_FALSE(semaphore.TimedWait(100));
  EXPECT_GE(steady_clock::now() - start, milliseconds(95));
}

TEST(SemaphoreTest, PostFromAnotherThreadWakesWaiterThatOutlivesIt) {
  // The waiter may give up before the worker posts; the shared pointer keeps it alive.
  auto semaphore = std::make_shared<Semaphore>(0);
  std::thread worker([semaphore] {
    std::this_thread::sleep_for(milliseconds(20));
    semaphore->Post();
  });
  semaphore->Wait();
  worker.join();
  EXPECT_FALSE(semaphore->TryWait());

  std::thread late([semaphore] { semaphore->Post(); });
  late.join();
  EXPECT_TRUE(semaphore->TimedWait(0));
}

TEST(SemaphoreTest, WaiterMayDestroyTheSemaphoreAsSoonAsItIsPosted) {
  // The waiter owns the semaphore and destroys it the moment Wait returns; the poster must
  // be done with it by then. ThreadSanitizer and AddressSanitizer watch this one.
  for (int round = 0; round < 200; ++round) {
    auto semaphore = std::make_unique<Semaphore>(0);
    Semaphore* raw = semaphore.get();
    std::thread poster([raw] { raw->Post(); });
    semaphore->Wait();
    semaphore.reset();
    poster.join();
  }
}

}  // namespace
}  // namespace nimbus
