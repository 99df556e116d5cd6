#include "app/reference_counted_future_impl.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <string>
#include <utility>

#include "app/assert.h"
#include "app/log.h"
#include "app/process_locks.h"

namespace nimbus {

namespace {

struct CallbackNode {
  CompletionCallback callback;
  void* user_data;
  UserDataDeleter user_data_delete_fn;
};

void DeleteUserData(const CallbackNode& node) {
  if (node.user_data_delete_fn != nullptr) node.user_data_delete_fn(node.user_data);
}

bool Matches(const CallbackNode& node, const CompletionCallbackHandle& handle) {
  return node.callback == handle.callback && node.user_data == handle.user_data &&
         node.user_data_delete_fn == handle.user_data_delete_fn;
}

// Function-object callbacks travel as plain callbacks whose user data is the function.
using CompletionFunction = std::function<void(const Future&)>;

void RunCompletionFunction(const Future& future, void* function) {
  (*static_cast<CompletionFunction*>(function))(future);
}

void DeleteCompletionFunction(void* function) { delete static_cast<CompletionFunction*>(function); }

void ReleaseRegisteredFuture(void* future) { static_cast<Future*>(future)->Release(); }

// A proxy shares the data of the future it follows, which frees it.
void KeepData(void* /*data*/) {}

void DeleteData(void* data, UserDataDeleter data_delete_fn) {
  if (data == nullptr) return;
  NIMBUS_ASSERT_RETURN_VOID(data_delete_fn != nullptr);
  data_delete_fn(data);
}

void DeleteContextData(void* context_data, UserDataDeleter context_data_delete_fn) {
  if (context_data == nullptr) return;
  NIMBUS_ASSERT_RETURN_VOID(context_data_delete_fn != nullptr);
  context_data_delete_fn(context_data);
}

// The context data of a proxy: which future it follows.
struct ProxyContext {
  ReferenceCountedFutureImpl* api;
  FutureHandleId original;
  FutureHandleId proxy;
};

}  // namespace

// The state of one future.
struct ReferenceCountedFutureImpl::FutureRecord {
  FutureStatus status = kFutureStatusPending;
  int error = 0;
  std::string error_message;
  int reference_count = 0;
  void* data = nullptr;
  UserDataDeleter data_delete_fn = nullptr;
  void* context_data = nullptr;
  UserDataDeleter context_data_delete_fn = nullptr;
  std::unique_ptr<CallbackNode> single_callback;
  std::list<std::unique_ptr<CallbackNode>> callbacks;
  // The proxies handed out by LastResult while this future was pending. Each holds a
  // reference to this future, so this future and its data outlive them.
  std::unique_ptr<std::vector<FutureHandleId>> proxies;
};

ReferenceCountedFutureImpl::ReferenceCountedFutureImpl(size_t last_result_count)
    : mutex_(Mutex::kModeRecursive), last_results_(last_result_count) {
  handle_notifier_.RegisterOwner(this);
}

ReferenceCountedFutureImpl::~ReferenceCountedFutureImpl() {
  // Destroyed from inside its own call (a completion callback, say), the API would be used
  // again when that call returns, or wait for it for ever. Such a callback must use
  // DestroyWhenCallsReturn (or DestroyFutureApi) instead. A destructor cannot refuse to
  // run, so the process ends here even under an installed log sink.
  if (InCallOnThisThread()) {
    LogAssert("%s", "!InCallOnThisThread()");
    std::abort();
  }
  // Futures on other threads may be in calls into this API, or releasing, right now: new
  // copies are turned away, and the calls under way end before the state they use goes.
  BeginClosing();
  {
    MutexLock lock(mutex_);
    for (Future& slot : last_results_) slot.Release();
    future_notifier_.CleanupAll();
    handle_notifier_.CleanupAll();
  }
  WaitForFutureCalls();
  MutexLock lock(mutex_);
  while (!backings_.empty()) {
    const FutureHandleId id = backings_.begin()->first;
    LogWarning("Future with handle %" PRIu64
               " still exists though its backing API 0x%X is being deleted. Please call "
               "Future::Release() before deleting the backing API.",
               id, static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    FreeBacking(id);
  }
}

ReferenceCountedFutureImpl::FutureRecord* ReferenceCountedFutureImpl::Find(
    FutureHandleId id) const {
  const auto found = backings_.find(id);
  return found == backings_.end() ? nullptr : found->second.get();
}

void ReferenceCountedFutureImpl::AddReference(const FutureHandle& handle) {
  MutexLock lock(mutex_);
  if (FutureRecord* backing = Find(handle.id())) ++backing->reference_count;
}

void ReferenceCountedFutureImpl::ReleaseReference(const FutureHandle& handle) {
  const CallScope call(this);  // Delete functions run here.
  MutexLock lock(mutex_);
  FutureRecord* backing = Find(handle.id());
  // A future already freed (force-released, or freed with a proxy's original) has nothing
  // left to release.
  if (backing == nullptr) return;
  if (backing->reference_count <= 0) {
    LogAssert("%s", "backing->reference_count > 0");
    return;
  }
  if (--backing->reference_count == 0) FreeBacking(handle.id());
}

void ReferenceCountedFutureImpl::ReleaseLocked(FutureHandleId id) {
  FutureRecord* backing = Find(id);
  if (backing == nullptr) return;
  if (backing->reference_count > 0) --backing->reference_count;
  if (backing->reference_count == 0) FreeBacking(id);
}

void ReferenceCountedFutureImpl::FreeBacking(FutureHandleId id) {
  const auto found = backings_.find(id);
  if (found == backings_.end()) return;
  // Out of the map first: the delete functions below may call back into this API.
  const std::unique_ptr<FutureRecord> backing = std::move(found->second);
  backings_.erase(found);
  if (backing->single_callback != nullptr) DeleteUserData(*backing->single_callback);
  for (const auto& node : backing->callbacks) DeleteUserData(*node);
  DeleteData(backing->data, backing->data_delete_fn);
  DeleteContextData(backing->context_data, backing->context_data_delete_fn);
  if (backing->proxies != nullptr) {
    // Proxies share the data just freed, so they go too.
    const std::vector<FutureHandleId> proxies = std::move(*backing->proxies);
    for (const FutureHandleId proxy : proxies) {
      if (FutureRecord* proxy_backing = Find(proxy)) {
        proxy_backing->reference_count = 1;
        ReleaseLocked(proxy);
      }
    }
  }
}

FutureStatus ReferenceCountedFutureImpl::GetFutureStatus(const FutureHandle& handle) const {
  MutexLock lock(mutex_);
  const FutureRecord* backing = Find(handle.id());
  return backing != nullptr ? backing->status : kFutureStatusInvalid;
}

int ReferenceCountedFutureImpl::GetFutureError(const FutureHandle& handle) const {
  MutexLock lock(mutex_);
  const FutureRecord* backing = Find(handle.id());
  return backing != nullptr ? backing->error : -1;
}

std::string ReferenceCountedFutureImpl::GetFutureErrorMessage(const FutureHandle& handle) const {
  MutexLock lock(mutex_);
  const FutureRecord* backing = Find(handle.id());
  return backing != nullptr ? backing->error_message : std::string("Invalid Future");
}

const void* ReferenceCountedFutureImpl::GetFutureResult(const FutureHandle& handle) const {
  MutexLock lock(mutex_);
  const FutureRecord* backing = Find(handle.id());
  if (backing == nullptr || backing->status != kFutureStatusComplete) return nullptr;
  return backing->data;
}

CompletionCallbackHandle ReferenceCountedFutureImpl::AddCompletionCallback(
    const FutureHandle& handle, CompletionCallback callback, void* user_data,
    UserDataDeleter user_data_delete_fn, bool single_completion) {
  const CallScope call(this);  // Callbacks and delete functions run here.
  auto node =
      std::make_unique<CallbackNode>(CallbackNode{callback, user_data, user_data_delete_fn});
  MutexLock lock(mutex_);
  FutureRecord* backing = Find(handle.id());
  if (backing == nullptr) {
    DeleteUserData(*node);
    return {};
  }
  // Each callback waiting to run holds a reference, so the future stays while it waits.
  ++backing->reference_count;
  if (single_completion) {
    const std::unique_ptr<CallbackNode> replaced = std::move(backing->single_callback);
    backing->single_callback = std::move(node);
    if (replaced != nullptr) {
      DeleteUserData(*replaced);
      --backing->reference_count;
    }
  } else {
    backing->callbacks.push_back(std::move(node));
  }
  if (backing->status == kFutureStatusPending) {
    return CompletionCallbackHandle{callback, user_data, user_data_delete_fn};
  }
  RunCallbacksLocked(handle.id());
  return {};
}

void ReferenceCountedFutureImpl::RemoveCompletionCallback(
    const FutureHandle& handle, const CompletionCallbackHandle& callback_handle) {
  if (callback_handle.empty()) return;
  const CallScope call(this);
  MutexLock lock(mutex_);
  FutureRecord* backing = Find(handle.id());
  if (backing == nullptr) return;
  std::vector<std::unique_ptr<CallbackNode>> removed;
  if (backing->single_callback != nullptr && Matches(*backing->single_callback, callback_handle)) {
    removed.push_back(std::move(backing->single_callback));
  }
  auto& callbacks = backing->callbacks;
  const auto found = std::find_if(callbacks.begin(), callbacks.end(), [&](const auto& node) {
    return Matches(*node, callback_handle);
  });
  if (found != callbacks.end()) {
    removed.push_back(std::move(*found));
    callbacks.erase(found);
  }
  for (const auto& node : removed) {
    DeleteUserData(*node);
    ReleaseLocked(handle.id());
  }
}

CompletionCallbackHandle ReferenceCountedFutureImpl::AddCompletionFunction(
    const FutureHandle& handle, std::function<void(const Future&)> callback,
    bool single_completion) {
  if (callback == nullptr) return {};
  auto* function = new CompletionFunction(std::move(callback));
  return AddCompletionCallback(handle, &RunCompletionFunction, function, &DeleteCompletionFunction,
                               single_completion);
}

void ReferenceCountedFutureImpl::RegisterForCleanup(Future* future) {
  future_notifier_.RegisterObject(future, &ReleaseRegisteredFuture);
}

void ReferenceCountedFutureImpl::UnregisterForCleanup(Future* future) {
  future_notifier_.UnregisterObject(future);
}

FutureHandle ReferenceCountedFutureImpl::AllocFuture(int index, void* data,
                                                     UserDataDeleter data_delete_fn) {
  MutexLock lock(mutex_);
  // Id 0 means "no future", so it is skipped when the counter wraps round.
  FutureHandleId id = next_id_;
  while (id == 0 || backings_.count(id) != 0) ++id;
  next_id_ = id + 1;
  auto backing = std::make_unique<FutureRecord>();
  backing->data = data;
  backing->data_delete_fn = data_delete_fn;
  backings_.emplace(id, std::move(backing));
  FutureHandle handle(id, this);
  if (index >= 0 && static_cast<size_t>(index) < last_results_.size()) {
    last_results_[index] = Future(this, handle);
  }
  return handle;
}

void ReferenceCountedFutureImpl::CompleteFuture(const FutureHandle& handle, int error,
                                                const char* error_message) {
  // Callbacks run here, and may ask for this API to be destroyed: that waits for the scope.
  const CallScope call(this);
  bool destroy = false;
  {
    MutexLock lock(mutex_);
    if (!CompleteLocked(FutureHandle(handle.id()), error, error_message)) return;
    if (delete_when_done_ && CanBeDeletedLocked()) {
      delete_when_done_ = false;
      destroy = true;
    }
  }
  if (destroy) DestroyWhenCallsReturn();
}

bool ReferenceCountedFutureImpl::CompleteLocked(const FutureHandle& handle, int error,
                                                const char* error_message) {
  FutureRecord* backing = Find(handle.id());
  if (backing == nullptr) return false;
  NIMBUS_ASSERT_RETURN(GetFutureStatus(handle) == kFutureStatusPending, false);
  backing->error = error;
  backing->error_message = error_message != nullptr ? error_message : "";
  backing->status = kFutureStatusComplete;
  // Held while proxies and callbacks run, which may release every other reference.
  ++backing->reference_count;
  std::vector<FutureHandleId> proxies;
  if (backing->proxies != nullptr) proxies = *backing->proxies;
  for (const FutureHandleId proxy : proxies) {
    const FutureRecord* proxy_backing = Find(proxy);
    if (proxy_backing != nullptr && proxy_backing->status == kFutureStatusPending) {
      CompleteLocked(FutureHandle(proxy), error, error_message);
    }
  }
  RunCallbacksLocked(handle.id());
  ReleaseLocked(handle.id());
  return true;
}

void ReferenceCountedFutureImpl::RunCallbacksLocked(FutureHandleId id) {
  FutureRecord* backing = Find(id);
  NIMBUS_ASSERT_RETURN_VOID(backing != nullptr);
  if (backing->single_callback == nullptr && backing->callbacks.empty()) return;
  Future completed(this, FutureHandle(id));
  for (;;) {
    // Looked up afresh each time: the lock is released while a callback runs.
    backing = Find(id);
    if (backing == nullptr) break;
    std::unique_ptr<CallbackNode> node;
    if (backing->single_callback != nullptr) {
      node = std::move(backing->single_callback);
    } else if (!backing->callbacks.empty()) {
      node = std::move(backing->callbacks.front());
      backing->callbacks.pop_front();
    } else {
      break;
    }
    ++running_callbacks_;
    mutex_.Release();
    if (node->callback != nullptr) node->callback(completed, node->user_data);
    mutex_.Acquire();
    --running_callbacks_;
    DeleteUserData(*node);
    ReleaseLocked(id);
  }
  completed.Release();
}

void ReferenceCountedFutureImpl::SetContextData(const FutureHandle& handle, void* context_data,
                                                UserDataDeleter delete_context_data_fn) {
  NIMBUS_ASSERT_RETURN_VOID((delete_context_data_fn != nullptr) || (context_data == nullptr));
  const CallScope call(this);
  MutexLock lock(mutex_);
  FutureRecord* backing = Find(handle.id());
  if (backing == nullptr) {
    // The future is gone, so its context would never be freed.
    DeleteContextData(context_data, delete_context_data_fn);
    return;
  }
  void* const previous = backing->context_data;
  const UserDataDeleter previous_delete_fn = backing->context_data_delete_fn;
  backing->context_data = context_data;
  backing->context_data_delete_fn = delete_context_data_fn;
  DeleteContextData(previous, previous_delete_fn);
}

Future ReferenceCountedFutureImpl::LastResult(int index) {
  MutexLock lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= last_results_.size()) return Future();
  const Future& slot = last_results_[index];
  const FutureHandleId id = slot.GetHandle().id();
  FutureRecord* backing = slot.status() == kFutureStatusInvalid ? nullptr : Find(id);
  if (backing == nullptr || backing->status != kFutureStatusPending) return slot;

  if (backing->proxies == nullptr)
    backing->proxies = std::make_unique<std::vector<FutureHandleId>>();
  const FutureHandle proxy = AllocFuture(-1, backing->data, &KeepData);
  ++backing->reference_count;  // Released when the proxy is freed.
  SetContextData(proxy, new ProxyContext{this, id, proxy.id()}, &ProxyFreed);
  backing->proxies->push_back(proxy.id());
  return Future(this, proxy);
}

void ReferenceCountedFutureImpl::ProxyFreed(void* context) {
  const std::unique_ptr<ProxyContext> proxy(static_cast<ProxyContext*>(context));
  ReferenceCountedFutureImpl* const api = proxy->api;
  MutexLock lock(api->mutex_);
  FutureRecord* original = api->Find(proxy->original);
  if (original == nullptr) return;  // The original went first and took the proxy with it.
  if (original->proxies != nullptr) {
    auto& proxies = *original->proxies;
    proxies.erase(std::remove(proxies.begin(), proxies.end(), proxy->proxy), proxies.end());
  }
  api->ReleaseLocked(proxy->original);
}

void ReferenceCountedFutureImpl::ForceRelease(const FutureHandle& handle) {
  const CallScope call(this);
  MutexLock lock(mutex_);
  FutureRecord* backing = Find(handle.id());
  if (backing == nullptr) return;
  backing->reference_count = 1;
  ReleaseLocked(handle.id());
}

void ReferenceCountedFutureImpl::MarkForDeletion() {
  MutexLock lock(mutex_);
  delete_when_done_ = true;
}

bool ReferenceCountedFutureImpl::CanBeDeleted() const {
  MutexLock lock(mutex_);
  return CanBeDeletedLocked();
}

bool ReferenceCountedFutureImpl::CanBeDeletedLocked() const {
  if (running_callbacks_ > 0) return false;
  return std::none_of(backings_.begin(), backings_.end(), [](const auto& entry) {
    return entry.second->status == kFutureStatusPending;
  });
}

bool ReferenceCountedFutureImpl::IsRunningCallback() const {
  MutexLock lock(mutex_);
  return running_callbacks_ > 0;
}

bool ReferenceCountedFutureImpl::HasOutsideReferences() const {
  MutexLock lock(mutex_);
  int64_t references = 0;
  for (const auto& entry : backings_) references += entry.second->reference_count;
  int64_t held_by_slots = 0;
  for (const Future& slot : last_results_) {
    if (slot.status() != kFutureStatusInvalid) ++held_by_slots;
  }
  return references > held_by_slots;
}

// The future API table ---------------------------------------------------------------------

namespace {

using FutureApiTable = std::map<const void*, std::unique_ptr<ReferenceCountedFutureImpl>>;

// Guarded by the future API table lock; created at first use, destroyed when empty.
FutureApiTable* g_future_apis = nullptr;

}  // namespace

ReferenceCountedFutureImpl* FindOrCreateFutureApi(const void* owner, size_t last_result_count) {
  MutexLock lock(FutureApiTableLock());
  if (g_future_apis == nullptr) g_future_apis = new FutureApiTable();
  std::unique_ptr<ReferenceCountedFutureImpl>& api = (*g_future_apis)[owner];
  if (api == nullptr) api = std::make_unique<ReferenceCountedFutureImpl>(last_result_count);
  return api.get();
}

ReferenceCountedFutureImpl* FindFutureApi(const void* owner) {
  MutexLock lock(FutureApiTableLock());
  if (g_future_apis == nullptr) return nullptr;
  const auto found = g_future_apis->find(owner);
  return found == g_future_apis->end() ? nullptr : found->second.get();
}

void DestroyFutureApi(const void* owner) {
  ReferenceCountedFutureImpl* doomed = nullptr;
  {
    MutexLock lock(FutureApiTableLock());
    if (g_future_apis == nullptr) return;
    const auto found = g_future_apis->find(owner);
    if (found == g_future_apis->end()) return;
    doomed = found->second.release();
    g_future_apis->erase(found);
    if (g_future_apis->empty()) {
      delete g_future_apis;
      g_future_apis = nullptr;
    }
  }
  // Destroyed outside the table lock: it runs cleanup and delete functions. From inside a
  // call into it (one of its completion callbacks), once that call has returned.
  doomed->DestroyWhenCallsReturn();
}

}  // namespace nimbus
