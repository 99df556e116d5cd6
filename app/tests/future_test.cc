#include "app/future.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/cleanup_list.h"
#include "app/reference_counted_future_impl.h"
#include "app/tests/captured_log.h"

namespace nimbus {
namespace {

// A result or user data that counts its deletions.
struct Tracked {
  int value;
  std::atomic<int>* deletions;
};

void DeleteTracked(void* pointer) {
  auto* tracked = static_cast<Tracked*>(pointer);
  ++*tracked->deletions;
  delete tracked;
}

// Records into a vector of strings given as user data.
void RecordCall(const Future& future, void* user_data) {
  static_cast<std::vector<std::string>*>(user_data)->push_back("error " +
                                                               std::to_string(future.error()));
}

TEST(FutureTest, IdsStartAtOneAndGrowByOne) {
  ReferenceCountedFutureImpl api(0);
  const FutureHandle first = api.AllocFuture(-1);
  const FutureHandle second = api.AllocFuture(-1);
  EXPECT_EQ(first.id(), 1u);
  EXPECT_EQ(second.id(), 2u);
  EXPECT_EQ(first.api(), &api);
}

TEST(FutureTest, ResultIsHiddenUntilComplete) {
  std::atomic<int> deletions{0};
  {
    ReferenceCountedFutureImpl api(1);
    const FutureHandle handle = api.AllocFuture(0, new Tracked{42, &deletions}, &DeleteTracked);
    const Future future(&api, handle);
    EXPECT_EQ(future.status(), kFutureStatusPending);
    EXPECT_EQ(future.result<Tracked>(), nullptr);
    api.CompleteFuture(handle, 7, "went wrong");
    EXPECT_EQ(future.status(), kFutureStatusComplete);
    EXPECT_EQ(future.error(), 7);
    EXPECT_EQ(future.error_message(), "went wrong");
    ASSERT_NE(future.result<Tracked>(), nullptr);
    EXPECT_EQ(future.result<Tracked>()->value, 42);
    EXPECT_EQ(deletions, 0);
  }
  EXPECT_EQ(deletions, 1);
}

TEST(FutureTest, InvalidFuturesReportNothing) {
  ReferenceCountedFutureImpl api(1);
  const Future never_issued(&api, FutureHandle(99));
  const Future empty;
  for (const Future* future : {&never_issued, &empty}) {
    EXPECT_EQ(future->status(), kFutureStatusInvalid);
    EXPECT_EQ(future->error(), -1);
    EXPECT_EQ(future->error_message(), "Invalid Future");
    EXPECT_EQ(future->result_void(), nullptr);
  }
  api.CompleteFuture(FutureHandle(99), 0);  // Nothing to complete.
  EXPECT_EQ(api.LastResult(0).status(), kFutureStatusInvalid);
  EXPECT_EQ(api.LastResult(5).status(), kFutureStatusInvalid);
}

TEST(FutureTest, SingleCompletionCallbackReplacesTheEarlierOne) {
  ReferenceCountedFutureImpl api(0);
  const FutureHandle handle = api.AllocFuture(-1);
  std::atomic<int> deletions{0};
  std::vector<std::string> first_calls;
  std::vector<std::string> second_calls;
  api.AddCompletionCallback(handle, &RecordCall, &first_calls, nullptr, true);
  api.AddCompletionCallback(handle, &RecordCall, new Tracked{1, &deletions}, &DeleteTracked, true);
  EXPECT_EQ(deletions, 0);
  api.AddCompletionCallback(handle, &RecordCall, &second_calls, nullptr, true);
  EXPECT_EQ(deletions, 1);  // The replaced callback's user data went at once.
  api.CompleteFuture(handle, 3);
  EXPECT_EQ(second_calls, std::vector<std::string>{"error 3"});
  EXPECT_TRUE(first_calls.empty());
}

TEST(FutureTest, CallbacksRunSingleFirstThenInOrderOfAddition) {
  ReferenceCountedFutureImpl api(1);
  const FutureHandle handle = api.AllocFuture(0);
  const Future future(&api, handle);
  std::vector<std::string> calls;
  future.AddOnCompletion([&](const Future&) { calls.push_back("a"); });
  future.OnCompletion([&](const Future&) { calls.push_back("single"); });
  const CompletionCallbackHandle removed =
      future.AddOnCompletion([&](const Future&) { calls.push_back("removed"); });
  future.AddOnCompletion(
      [&](const Future& done) { calls.push_back("b " + std::to_string(done.status())); });
  EXPECT_FALSE(removed.empty());
  future.RemoveOnCompletion(removed);
  EXPECT_TRUE(calls.empty());
  api.CompleteFuture(handle, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"single", "a", "b 0"}));
}

TEST(FutureTest, CallbackOnCompletedFutureRunsAtOnce) {
  ReferenceCountedFutureImpl api(1);
  const FutureHandle handle = api.AllocFuture(0);
  api.CompleteFuture(handle, 5);
  std::vector<std::string> calls;
  const CompletionCallbackHandle added =
      api.AddCompletionCallback(handle, &RecordCall, &calls, nullptr, false);
  EXPECT_EQ(calls, std::vector<std::string>{"error 5"});
  EXPECT_TRUE(added.empty());

  bool ran = false;
  EXPECT_TRUE(Future(&api, handle).AddOnCompletion([&](const Future&) { ran = true; }).empty());
  EXPECT_TRUE(ran);
}

TEST(FutureTest, CallbackKeepsItsFutureAliveUntilItRuns) {
  std::atomic<int> deletions{0};
  ReferenceCountedFutureImpl api(0);
  FutureHandleId id;
  bool ran = false;
  {
    const FutureHandle handle = api.AllocFuture(-1, new Tracked{1, &deletions}, &DeleteTracked);
    id = handle.id();
    Future(&api, handle).OnCompletion([&](const Future& done) {
      ran = done.result<Tracked>() != nullptr && done.result<Tracked>()->value == 1;
    });
  }
  EXPECT_EQ(deletions, 0);
  api.CompleteFuture(FutureHandle(id), 0);
  EXPECT_TRUE(ran);
  EXPECT_EQ(deletions, 1);  // Nothing holds it any more.
}

TEST(FutureTest, HandleCopiesHoldReferences) {
  std::atomic<int> deletions{0};
  ReferenceCountedFutureImpl api(0);
  FutureHandle copy;
  {
    const FutureHandle handle = api.AllocFuture(-1, new Tracked{1, &deletions}, &DeleteTracked);
    copy = handle;
  }
  EXPECT_EQ(api.GetFutureStatus(copy), kFutureStatusPending);
  FutureHandle moved = std::move(copy);
  EXPECT_EQ(copy.api(), nullptr);
  EXPECT_EQ(deletions, 0);
  moved = FutureHandle();
  EXPECT_EQ(deletions, 1);
}

TEST(FutureTest, DestroyingTheApiWarnsAboutLiveFuturesAndFreesThem) {
  CapturedLog log;
  std::atomic<int> deletions{0};
  auto api = std::make_unique<ReferenceCountedFutureImpl>(1);
  FutureHandle handle = api->AllocFuture(-1, new Tracked{1, &deletions}, &DeleteTracked);
  Future future(api.get(), handle);
  char expected[256];
  std::snprintf(expected, sizeof(expected),
                "Future with handle %" PRIu64
                " still exists though its backing API 0x%X is being deleted. Please call "
                "Future::Release() before deleting the backing API.",
                handle.id(), static_cast<unsigned>(reinterpret_cast<uintptr_t>(api.get())));
  api.reset();
  EXPECT_EQ(log.Count(kLogLevelWarning, expected), 1);
  EXPECT_EQ(deletions, 1);
  // Both were detached, so neither releases anything now.
  EXPECT_EQ(handle.api(), nullptr);
  EXPECT_EQ(future.status(), kFutureStatusInvalid);
  handle = FutureHandle();
  future.Release();
  EXPECT_EQ(log.CountAtLeast(kLogLevelError), 0);
}

TEST(FutureTest, LastResultOfPendingSlotIsAProxyThatCompletesWithIt) {
  std::atomic<int> deletions{0};
  ReferenceCountedFutureImpl api(1);
  const FutureHandleId id = api.AllocFuture(0, new Tracked{9, &deletions}, &DeleteTracked).id();
  Future proxy = api.LastResult(0);
  EXPECT_NE(proxy.GetHandle().id(), id);
  EXPECT_EQ(proxy.status(), kFutureStatusPending);
  std::string seen;
  proxy.OnCompletion([&](const Future& done) { seen = done.error_message(); });

  api.CompleteFuture(FutureHandle(id), 4, "partly");
  EXPECT_EQ(proxy.status(), kFutureStatusComplete);
  EXPECT_EQ(proxy.error(), 4);
  EXPECT_EQ(seen, "partly");
  ASSERT_NE(proxy.result<Tracked>(), nullptr);
  EXPECT_EQ(proxy.result<Tracked>()->value, 9);
  // Once complete, the slot's own future comes back.
  EXPECT_EQ(api.LastResult(0).GetHandle().id(), id);

  // A new call in the slot does not pull the data from under the proxy.
  api.AllocFuture(0);
  EXPECT_EQ(deletions, 0);
  EXPECT_EQ(proxy.result<Tracked>()->value, 9);
  proxy.Release();
  EXPECT_EQ(deletions, 1);
}

TEST(FutureTest, MisuseIsReportedAsAssertions) {
  CapturedLog log;
  ReferenceCountedFutureImpl api(1);
  const FutureHandle handle = api.AllocFuture(0);
  api.CompleteFuture(handle, 1, "first");
  api.CompleteFuture(handle, 2, "second");
  EXPECT_EQ(log.Count(kLogLevelAssert, "GetFutureStatus(handle) == kFutureStatusPending"), 1);
  EXPECT_EQ(api.GetFutureError(handle), 1);
  EXPECT_EQ(api.GetFutureErrorMessage(handle), "first");

  api.SetContextData(handle, &log, nullptr);
  EXPECT_EQ(log.Count(kLogLevelAssert,
                      "(delete_context_data_fn != nullptr) || (context_data == nullptr)"),
            1);

  {
    const FutureHandle doomed = api.AllocFuture(-1);
    api.ReleaseReference(FutureHandle(doomed.id()));  // The handle's own reference.
    EXPECT_EQ(api.GetFutureStatus(doomed), kFutureStatusInvalid);
  }  // The handle releases again, finding its future gone: nothing to report.
  EXPECT_EQ(log.Count(kLogLevelAssert, "backing->reference_count > 0"), 0);
}

TEST(FutureTest, CallbacksRunWithoutTheLockAndAreSeenRunning) {
  ReferenceCountedFutureImpl api(1);
  const FutureHandle handle = api.AllocFuture(0);
  bool running = false;
  bool deletable = true;
  bool other_thread_got_in = false;
  Future(&api, handle).OnCompletion([&](const Future&) {
    running = api.IsRunningCallback();
    deletable = api.CanBeDeleted();
    // Another thread can use the API while the callback runs.
    std::thread([&] {
      other_thread_got_in = api.GetFutureStatus(handle) == kFutureStatusComplete;
    }).join();
  });
  EXPECT_FALSE(api.CanBeDeleted());  // Pending.
  api.CompleteFuture(handle, 0);
  EXPECT_TRUE(running);
  EXPECT_FALSE(deletable);
  EXPECT_TRUE(other_thread_got_in);
  EXPECT_FALSE(api.IsRunningCallback());
  EXPECT_TRUE(api.CanBeDeleted());
}

TEST(FutureTest, ApiMarkedForDeletionGoesAfterItsLastCompletion) {
  std::atomic<int> deletions{0};
  auto* api = new ReferenceCountedFutureImpl(1);
  const FutureHandleId id = api->AllocFuture(0, new Tracked{1, &deletions}, &DeleteTracked).id();
  api->MarkForDeletion();
  api->CompleteFuture(FutureHandle(id), 0);  // Deletes the API; the leak checker would notice.
  EXPECT_EQ(deletions, 1);
}

TEST(FutureTest, CompletionRacingWithCallbacksRunsEachOnce) {
  ReferenceCountedFutureImpl api(1);
  for (int round = 0; round < 200; ++round) {
    const FutureHandle handle = api.AllocFuture(0);
    std::atomic<int> runs{0};
    std::thread completer([&] { api.CompleteFuture(handle, 0); });
    std::thread releaser([&] {
      for (int i = 0; i < 5; ++i) Future(&api, handle).status();
    });
    for (int i = 0; i < 5; ++i)
      Future(&api, handle).AddOnCompletion([&](const Future&) { ++runs; });
    completer.join();
    releaser.join();
    EXPECT_EQ(runs, 5) << "round " << round;
  }
}

// After ForceRelease the holders' own releases find nothing to release and say nothing,
// for a plain future and for a proxy of a pending last result.
TEST(FutureTest, HoldersReleaseQuietlyAfterForceRelease) {
  CapturedLog log;
  std::atomic<int> deletions{0};
  ReferenceCountedFutureImpl api(1);
  {
    const FutureHandle handle = api.AllocFuture(-1, new Tracked{1, &deletions}, &DeleteTracked);
    Future future(&api, handle);
    api.ForceRelease(handle);
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(future.status(), kFutureStatusInvalid);
  }
  {
    const FutureHandleId id = api.AllocFuture(0).id();
    Future proxy = api.LastResult(0);
    Future other_proxy = api.LastResult(0);
    api.ForceRelease(proxy.GetHandle());
    proxy.Release();
    api.ForceRelease(FutureHandle(id));  // The slot's future, and the other proxy with it.
    EXPECT_EQ(other_proxy.status(), kFutureStatusInvalid);
  }
  EXPECT_EQ(log.CountAtLeast(kLogLevelError), 0);
}

// A future released (or read) on one thread while its API is destroyed on another: the API
// waits for the future's call to end, and neither side deadlocks.
TEST(FutureTest, ReleaseRacingWithTheApiGoingAwayIsSafe) {
  CapturedLog log;
  for (int round = 0; round < 3000; ++round) {
    auto* api = new ReferenceCountedFutureImpl(1);
    Future future(api, api->AllocFuture(0));
    Future reader = future;
    std::thread releaser([&] {
      reader.status();
      future.Release();
      reader.error_message();
      Future copy = reader;
    });
    delete api;
    releaser.join();
    EXPECT_EQ(future.status(), kFutureStatusInvalid);
    EXPECT_EQ(reader.status(), kFutureStatusInvalid);
  }
}

// An API destroyed through the table from inside one of its own completion callbacks goes
// once the callback has returned: for a callback run on completion, and for one added to a
// future already complete (which runs at once, inside the Future's call).
TEST(FutureTest, DestroyingTheApiFromItsOwnCallbackWaitsForTheCallbackToReturn) {
  int owner = 0;
  for (const bool already_complete : {false, true}) {
    std::atomic<int> deletions{0};
    ReferenceCountedFutureImpl* api = FindOrCreateFutureApi(&owner, 1);
    Future future(api, api->AllocFuture(0, new Tracked{3, &deletions}, &DeleteTracked));
    const FutureHandle id(future.GetHandle().id());
    if (already_complete) api->CompleteFuture(id, 5);
    int seen_error = 0;
    bool gone_from_table = false;
    future.AddOnCompletion([&](const Future& done) {
      DestroyFutureApi(&owner);
      gone_from_table = FindFutureApi(&owner) == nullptr;
      seen_error = done.error();  // The API is still there until the callback returns.
    });
    if (!already_complete) api->CompleteFuture(id, 5);
    EXPECT_TRUE(gone_from_table) << already_complete;
    EXPECT_EQ(seen_error, 5) << already_complete;
    EXPECT_EQ(deletions, 1) << already_complete;
    EXPECT_EQ(future.status(), kFutureStatusInvalid) << already_complete;
  }
}

void DeleteApi(const Future& /*future*/, void* api) {
  delete static_cast<ReferenceCountedFutureImpl*>(api);
}

void LogToStderr(LogLevel level, const char* message, void* /*user_data*/) {
  std::fprintf(stderr, "%s%s\n", level == kLogLevelAssert ? "ASSERT: " : "", message);
}

// A plain delete cannot wait for the callback to return: it is refused with an assertion,
// which ends the process even under an installed sink, rather than freeing the API under
// the callback (on completion) or waiting for itself (in a callback added once complete).
TEST(FutureDeathTest, DeletingTheApiInsideItsOwnCallbackIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const bool already_complete : {false, true}) {
    EXPECT_DEATH(
        {
          LogSetCallback(&LogToStderr, nullptr);
          auto* api = new ReferenceCountedFutureImpl(0);
          const FutureHandle handle = api->AllocFuture(-1);
          if (already_complete) api->CompleteFuture(handle, 0);
          Future(api, handle).AddOnCompletion(&DeleteApi, api);
          api->CompleteFuture(handle, 0);
        },
        "ASSERT: !InCallOnThisThread\\(\\)")
        << already_complete;
  }
}

// A Future assigned on one thread while the API it held is destroyed on another: the dying
// API releases what the Future held from it, never the future it holds now.
TEST(FutureTest, AssigningAFutureWhileItsOldApiGoesAwayIsSafe) {
  CapturedLog log;
  for (int round = 0; round < 300; ++round) {
    ReferenceCountedFutureImpl other(0);
    auto* dying = new ReferenceCountedFutureImpl(0);
    Future first(dying, dying->AllocFuture(-1));  // Id 1, as the source's.
    Future assigned(dying, dying->AllocFuture(-1));
    const Future source(&other, other.AllocFuture(-1));
    std::thread assigner([&] { assigned = source; });
    delete dying;
    assigner.join();
    EXPECT_EQ(assigned.status(), kFutureStatusPending);
    EXPECT_EQ(assigned.GetHandle().id(), source.GetHandle().id());
    EXPECT_EQ(first.status(), kFutureStatusInvalid);
  }
  // Neither API had a future left over, and no reference was released twice.
  EXPECT_EQ(log.CountAtLeast(kLogLevelWarning), 0);
}

// Copies of an allocated handle copied, moved and dropped on other threads while the API is
// destroyed: each is either served or detached, never left pointing at the freed API.
TEST(FutureTest, HandleCopiesUsedWhileTheApiGoesAwayAreSafe) {
  CapturedLog log;
  for (int round = 0; round < 300; ++round) {
    auto* api = new ReferenceCountedFutureImpl(0);
    FutureHandle handle = api->AllocFuture(-1);
    std::vector<FutureHandle> copies(2, handle);
    std::vector<std::thread> users;
    for (FutureHandle& mine : copies) {
      users.emplace_back([&mine] {
        for (int i = 0; i < 20; ++i) {
          FutureHandle copy = mine;
          FutureHandle moved = std::move(copy);
          copy = moved;
          mine = std::move(moved);
          copy = FutureHandle();
        }
      });
    }
    delete api;
    for (std::thread& user : users) user.join();
    EXPECT_EQ(handle.api(), nullptr);
    for (const FutureHandle& copy : copies) EXPECT_EQ(copy.api(), nullptr);
  }
  EXPECT_EQ(log.CountAtLeast(kLogLevelError), 0);
}

TEST(FutureApiTableTest, OneApiPerOwner) {
  int owner = 0;
  int other_owner = 0;
  ReferenceCountedFutureImpl* api = FindOrCreateFutureApi(&owner, 2);
  ASSERT_NE(api, nullptr);
  EXPECT_EQ(FindOrCreateFutureApi(&owner, 5), api);
  EXPECT_EQ(FindFutureApi(&owner), api);
  EXPECT_EQ(FindFutureApi(&other_owner), nullptr);
  Future future(api, api->AllocFuture(1));
  DestroyFutureApi(&owner);
  EXPECT_EQ(FindFutureApi(&owner), nullptr);
  EXPECT_EQ(future.status(), kFutureStatusInvalid);
  DestroyFutureApi(&owner);  // Nothing left: harmless.
}

TEST(CleanupListTest, CleanupRunsOnceForEachObject) {
  std::vector<int> cleaned;
  int a = 1;
  int b = 2;
  int c = 3;
  static std::vector<int>* sink;
  sink = &cleaned;
  auto record = [](void* object) { sink->push_back(*static_cast<int*>(object)); };
  {
    CleanupList list;
    list.RegisterObject(&a, record);
    list.RegisterObject(&b, record);
    list.RegisterObject(&b, record);  // Replaces, does not add.
    list.RegisterObject(&c, record);
    list.UnregisterObject(&c);
    list.CleanupAll();
    EXPECT_EQ(cleaned.size(), 2u);
    list.CleanupAll();
  }  // Destruction runs nothing again.
  EXPECT_EQ(cleaned.size(), 2u);
}

TEST(CleanupListTest, OwnersFindTheirListUntilItGoes) {
  int owner = 0;
  CleanupList first;
  {
    CleanupList second;
    first.RegisterOwner(&owner);
    EXPECT_EQ(CleanupList::FindByOwner(&owner), &first);
    second.RegisterOwner(&owner);  // Moves over.
    EXPECT_EQ(CleanupList::FindByOwner(&owner), &second);
  }
  EXPECT_EQ(CleanupList::FindByOwner(&owner), nullptr);
  first.RegisterOwner(&owner);
  CleanupList::UnregisterOwner(&owner);
  EXPECT_EQ(CleanupList::FindByOwner(&owner), nullptr);
}

}  // namespace
}  // namespace nimbus
