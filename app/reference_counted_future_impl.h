#ifndef TERVALA_APP_REFERENCE_COUNTED_FUTURE_IMPL_H_
#define TERVALA_APP_REFERENCE_COUNTED_FUTURE_IMPL_H_

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

#include "app/cleanup_list.h"
#include "app/future.h"
#include "app/mutex.h"

namespace nimbus {

// The future API of one future-producing module: keeps the state of every future the
// module issued, counts the references to each, runs completion callbacks, and remembers
// the latest future of each of the module's functions in a last-result slot.
//
// Completion callbacks run on the thread that completes the future, with no lock held.
class ReferenceCountedFutureImpl : public detail::FutureApiInterface {
 public:
  // `last_result_count` slots, numbered from 0, each empty at first.
  explicit ReferenceCountedFutureImpl(size_t last_result_count);
  // Detaches every Future and FutureHandle of this API, and frees the futures still alive
  // with a warning for each. Not from inside a call into this API (a completion callback,
  // a delete function): that ends the process with an assertion; such code uses
  // DestroyWhenCallsReturn, or DestroyFutureApi, which wait for the call to return.
  ~ReferenceCountedFutureImpl() override;
  ReferenceCountedFutureImpl(const ReferenceCountedFutureImpl&) = delete;
  ReferenceCountedFutureImpl& operator=(const ReferenceCountedFutureImpl&) = delete;

  void AddReference(const FutureHandle& handle) override;
  // Releasing a live future that holds no reference is reported as an assertion; a future
  // already freed (by ForceRelease, say) has nothing to release and reports nothing.
  void ReleaseReference(const FutureHandle& handle) override;
  FutureStatus GetFutureStatus(const FutureHandle& handle) const override;
  int GetFutureError(const FutureHandle& handle) const override;
  std::string GetFutureErrorMessage(const FutureHandle& handle) const override;
  const void* GetFutureResult(const FutureHandle& handle) const override;
  CompletionCallbackHandle AddCompletionCallback(const FutureHandle& handle,
                                                 CompletionCallback callback, void* user_data,
                                                 UserDataDeleter user_data_delete_fn,
                                                 bool single_completion) override;
  void RemoveCompletionCallback(const FutureHandle& handle,
                                const CompletionCallbackHandle& callback_handle) override;
  CompletionCallbackHandle AddCompletionFunction(const FutureHandle& handle,
                                                 std::function<void(const Future&)> callback,
                                                 bool single_completion) override;
  void RegisterForCleanup(Future* future) override;
  void UnregisterForCleanup(Future* future) override;

  // Starts a pending future whose result will be `data` (freed by `data_delete_fn`, which
  // must be set when `data` is). The returned handle holds one reference. When `index`
  // names a slot, the slot now holds this future, releasing the one it held.
  FutureHandle AllocFuture(int index, void* data = nullptr,
                           UserDataDeleter data_delete_fn = nullptr);
  // Completes a pending future (a null message is an empty one) and runs its completion
  // callbacks on this thread. Completing it twice is reported as an assertion.
  void CompleteFuture(const FutureHandle& handle, int error, const char* error_message = nullptr);
  // Attaches data freed together with the future.
  void SetContextData(const FutureHandle& handle, void* context_data,
                      UserDataDeleter delete_context_data_fn);
  // The future in slot `index`. While it is pending, a new future that completes with it
  // (a proxy); once complete, a copy of it. Invalid for an empty or unknown slot.
  Future LastResult(int index);
  // Frees the future whatever references remain.
  void ForceRelease(const FutureHandle& handle);
  // Makes the API delete itself once it can be deleted, after a completion. For APIs
  // created with new and no longer owned by anyone else.
  void MarkForDeletion();
  // True when no future is pending and no completion callback is running.
  bool CanBeDeleted() const;
  bool IsRunningCallback() const;
  // True when something besides the last-result slots holds a future of this API.
  bool HasOutsideReferences() const;

 private:
  struct FutureRecord;

  FutureRecord* Find(FutureHandleId id) const;
  void ReleaseLocked(FutureHandleId id);
  void FreeBacking(FutureHandleId id);
  bool CompleteLocked(const FutureHandle& handle, int error, const char* error_message);
  void RunCallbacksLocked(FutureHandleId id);
  bool CanBeDeletedLocked() const;
  static void ProxyFreed(void* context);

  mutable Mutex mutex_;
  std::map<FutureHandleId, std::unique_ptr<FutureRecord>> backings_;
  FutureHandleId next_id_ = 1;
  std::vector<Future> last_results_;
  // The Futures of this API, released when it goes away.
  CleanupList future_notifier_;
  // The FutureHandle copies of this API, detached when it goes away; bound to this API as
  // its owner so that handles find it.
  CleanupList handle_notifier_;
  int running_callbacks_ = 0;
  bool delete_when_done_ = false;
};

// The process-wide table of future APIs, one per owner object.

// The future API of `owner`, created with `last_result_count` slots when it has none.
ReferenceCountedFutureImpl* FindOrCreateFutureApi(const void* owner, size_t last_result_count);
// The future API of `owner`, or null.
ReferenceCountedFutureImpl* FindFutureApi(const void* owner);
// Destroys the future API of `owner`, if any; called from inside a call into that API (one
// of its completion callbacks), once the call has returned. The owner has no API from now.
void DestroyFutureApi(const void* owner);

}  // namespace nimbus

#endif  // TERVALA_APP_REFERENCE_COUNTED_FUTURE_IMPL_H_
