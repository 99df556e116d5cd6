#include "app/future.h"

#include <utility>

#include "app/cleanup_list.h"

namespace nimbus {

namespace {

// The calls of this thread into future APIs, innermost first.
thread_local detail::FutureApiInterface::CallScope* t_innermost_call = nullptr;

// Guards the API pointers of every FutureHandle against the API detaching them from the
// thread that destroys it. A leaf lock but for the API's call count, taken inside it.
// Never destroyed: handles may be released during process exit.
std::mutex& HandleLock() {
  static auto* lock = new std::mutex();
  return *lock;
}

}  // namespace

namespace detail {

FutureApiInterface::~FutureApiInterface() = default;

FutureApiInterface::CallScope::CallScope(FutureApiInterface* api)
    : api_(api), outer_(t_innermost_call) {
  t_innermost_call = this;
}

FutureApiInterface::CallScope::~CallScope() {
  t_innermost_call = outer_;
  if (destroy_api_) delete api_;
}

bool FutureApiInterface::InCallOnThisThread() const {
  for (const CallScope* call = t_innermost_call; call != nullptr; call = call->outer_) {
    if (call->api_ == this) return true;
  }
  return false;
}

void FutureApiInterface::DestroyWhenCallsReturn() {
  CallScope* outermost = nullptr;
  for (CallScope* call = t_innermost_call; call != nullptr; call = call->outer_) {
    if (call->api_ == this) outermost = call;
  }
  if (outermost == nullptr) {
    delete this;
  } else {
    outermost->destroy_api_ = true;
  }
}

void FutureApiInterface::BeginClosing() {
  std::unique_lock<std::mutex> lock(calls_lock_);
  closing_ = true;
  calls_ended_.wait(lock, [this] { return calls_ == 0; });
}

void FutureApiInterface::WaitForFutureCalls() {
  std::unique_lock<std::mutex> lock(calls_lock_);
  calls_ended_.wait(lock, [this] { return calls_ == 0; });
}

bool FutureApiInterface::BeginFutureCall() {
  std::lock_guard<std::mutex> lock(calls_lock_);
  ++calls_;
  return !closing_;
}

void FutureApiInterface::EndFutureCall() {
  // Notified under the lock: the waiting destructor frees it as soon as it sees 0.
  std::lock_guard<std::mutex> lock(calls_lock_);
  if (--calls_ == 0) calls_ended_.notify_all();
}

}  // namespace detail

// FutureHandle ---------------------------------------------------------------------------

// One call of a handle into its API, counted by the API as a Future's calls are, so that
// the API, destroyed on another thread, waits for it. The pointer is read, and the count
// taken, under the handle lock, which the API's detaching of its handles takes too.
class FutureHandle::ApiCall {
 public:
  enum Kind {
    kCopy,  // takes a new reference: nothing, when the API is closing
    kTake,  // takes the handle's reference away from it, even when the API is closing
  };

  // A call through the API of `handle`.
  ApiCall(const FutureHandle& handle, Kind kind) {
    std::lock_guard<std::mutex> lock(HandleLock());
    Begin(handle.api_.load(std::memory_order_relaxed));
    if (api_ == nullptr) return;
    if (kind == kTake) {
      const_cast<FutureHandle&>(handle).api_.store(nullptr, std::memory_order_release);
    } else if (!open_) {
      End();
    }
  }
  // A new reference made by `api` itself, which is not closing.
  explicit ApiCall(detail::FutureApiInterface* api) { Begin(api); }
  ~ApiCall() { End(); }
  ApiCall(const ApiCall&) = delete;
  ApiCall& operator=(const ApiCall&) = delete;

  detail::FutureApiInterface* api() const { return api_; }
  // False when the API has begun to close.
  bool open() const { return open_; }

 private:
  void Begin(detail::FutureApiInterface* api) {
    if (api == nullptr) return;
    api_ = api;
    open_ = api->BeginFutureCall();
    scope_.Enter(api);
  }
  void End() {
    if (api_ == nullptr) return;
    api_->EndFutureCall();
    api_ = nullptr;
  }

  detail::FutureApiInterface* api_ = nullptr;
  bool open_ = false;
  // Ends after the destructor's body, so after the count: it may destroy the API.
  detail::FutureApiInterface::CallScope scope_;
};

FutureHandle::FutureHandle(FutureHandleId id, detail::FutureApiInterface* api) : id_(id) {
  const ApiCall call(api);
  Attach(call);
}

FutureHandle::FutureHandle(const FutureHandle& other) : id_(other.id_) {
  const ApiCall call(other, ApiCall::kCopy);
  Attach(call);
}

FutureHandle& FutureHandle::operator=(const FutureHandle& other) {
  if (this != &other) {
    Release();
    id_ = other.id_;
    const ApiCall call(other, ApiCall::kCopy);
    Attach(call);
  }
  return *this;
}

FutureHandle::FutureHandle(FutureHandle&& other) noexcept { MoveFrom(other); }

FutureHandle& FutureHandle::operator=(FutureHandle&& other) noexcept {
  if (this != &other) {
    Release();
    MoveFrom(other);
  }
  return *this;
}

FutureHandle::~FutureHandle() { Release(); }

void FutureHandle::Attach(const ApiCall& call) {
  detail::FutureApiInterface* const api = call.api();
  // A copy of a handle whose future is gone holds nothing, so it releases nothing later.
  if (api == nullptr || id_ == 0 || api->GetFutureStatus(*this) == kFutureStatusInvalid) return;
  api->AddReference(*this);
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    api_.store(api, std::memory_order_release);
  }
  // The API cannot detach its handles before this call ends, so the registration is in
  // place when it does.
  if (CleanupList* notifier = CleanupList::FindByOwner(api)) {
    notifier->RegisterObject(this, &FutureHandle::DetachFromApi);
  }
}

void FutureHandle::Release() {
  const ApiCall call(*this, ApiCall::kTake);
  detail::FutureApiInterface* const api = call.api();
  if (api == nullptr) return;
  if (CleanupList* notifier = CleanupList::FindByOwner(api)) notifier->UnregisterObject(this);
  api->ReleaseReference(FutureHandle(id_));
}

void FutureHandle::MoveFrom(FutureHandle& other) {
  id_ = other.id_;
  const ApiCall call(other, ApiCall::kTake);
  detail::FutureApiInterface* const api = call.api();
  if (api == nullptr) return;
  CleanupList* const notifier = CleanupList::FindByOwner(api);
  if (notifier != nullptr) notifier->UnregisterObject(&other);
  if (!call.open()) {
    // The API is detaching its handles: the reference goes rather than moving to an address
    // it may no longer detach.
    api->ReleaseReference(FutureHandle(id_));
    return;
  }
  // The reference moves; only the registration changes address.
  {
    std::lock_guard<std::mutex> lock(HandleLock());
    api_.store(api, std::memory_order_release);
  }
  if (notifier != nullptr) notifier->RegisterObject(this, &FutureHandle::DetachFromApi);
}

void FutureHandle::DetachFromApi(void* handle) {
  std::lock_guard<std::mutex> lock(HandleLock());
  static_cast<FutureHandle*>(handle)->api_.store(nullptr, std::memory_order_release);
}

// Future ---------------------------------------------------------------------------------

// One call of a Future into its API, counted by the API for as long as it lasts, so that
// the API, destroyed on another thread, waits for it. The pointer and the id are read and
// the count taken under the future's mutex; the call itself runs with no lock of the
// future held, so the API's cleanup (which takes that mutex while holding its own locks)
// cannot deadlock with it.
class Future::ApiCall {
 public:
  enum Kind {
    kUse,      // reads or adds callbacks: nothing, when the API is closing
    kCopy,     // takes a new reference: nothing, when the API is closing
    kRelease,  // takes the future's reference away from it, even when the API is closing
  };

  ApiCall(const Future& future, Kind kind) {
    MutexLock lock(future.mutex_);
    id_ = future.handle_.id();
    api_ = future.api_;
    if (api_ == nullptr) return;
    open_ = api_->BeginFutureCall();
    if (kind == kRelease) {
      // Only the non-const members of Future release.
      const_cast<Future&>(future).api_ = nullptr;
    } else if (!open_) {
      api_->EndFutureCall();
      api_ = nullptr;
      return;
    }
    scope_.Enter(api_);
  }
  // The scope ends after the call's count: it may destroy the API.
  ~ApiCall() {
    if (api_ != nullptr) api_->EndFutureCall();
  }
  ApiCall(const ApiCall&) = delete;
  ApiCall& operator=(const ApiCall&) = delete;

  detail::FutureApiInterface* api() const { return api_; }
  // The future's id when the call began.
  FutureHandleId id() const { return id_; }
  FutureHandle handle() const { return FutureHandle(id_); }
  // False when the API has begun to close.
  bool open() const { return open_; }

 private:
  detail::FutureApiInterface* api_ = nullptr;
  FutureHandleId id_ = 0;
  bool open_ = false;
  // Ends after the destructor's body, so after the count: it may destroy the API.
  detail::FutureApiInterface::CallScope scope_;
};

Future::Future() : mutex_(Mutex::kModeNonRecursive) {}

Future::Future(detail::FutureApiInterface* api, const FutureHandle& handle)
    : mutex_(Mutex::kModeNonRecursive) {
  Adopt(api, handle.id());
}

Future::Future(const Future& other) : mutex_(Mutex::kModeNonRecursive) {
  const ApiCall call(other, ApiCall::kCopy);
  Adopt(call.api(), call.id());
}

Future& Future::operator=(const Future& other) {
  if (this != &other) {
    const ApiCall call(other, ApiCall::kCopy);
    Release();
    Adopt(call.api(), call.id());
  }
  return *this;
}

Future::Future(Future&& other) noexcept : mutex_(Mutex::kModeNonRecursive) { StealFrom(other); }

Future& Future::operator=(Future&& other) noexcept {
  if (this != &other) {
    Release();
    StealFrom(other);
  }
  return *this;
}

Future::~Future() { Release(); }

void Future::Adopt(detail::FutureApiInterface* api, FutureHandleId id) {
  // The id changes under the mutex: the API this future held before may be releasing it
  // from its own thread right now, and must release the id it held.
  {
    MutexLock lock(mutex_);
    handle_ = FutureHandle(id);
  }
  // A future that is already gone is held as invalid, so that nothing is released for it
  // later.
  const FutureHandle handle(id);
  if (api == nullptr || id == 0 || api->GetFutureStatus(handle) == kFutureStatusInvalid) return;
  api->AddReference(handle);
  {
    MutexLock lock(mutex_);
    api_ = api;
  }
  api->RegisterForCleanup(this);
}

void Future::StealFrom(Future& other) {
  const ApiCall call(other, ApiCall::kRelease);
  {
    MutexLock lock(mutex_);
    handle_ = call.handle();
  }
  detail::FutureApiInterface* const api = call.api();
  if (api == nullptr) return;
  api->UnregisterForCleanup(&other);
  if (!call.open()) {
    // The API is releasing its futures: the reference goes rather than moving to an address
    // it may no longer clean up.
    api->ReleaseReference(call.handle());
    return;
  }
  // The reference moves; the registration follows the new address.
  {
    MutexLock lock(mutex_);
    api_ = api;
  }
  api->RegisterForCleanup(this);
}

void Future::Release() {
  // Whoever clears the API releases; the API's own cleanup, running at the same time, finds
  // it cleared and does nothing, and waits for this call to end before it goes.
  const ApiCall call(*this, ApiCall::kRelease);
  detail::FutureApiInterface* const api = call.api();
  if (api == nullptr) return;
  api->UnregisterForCleanup(this);
  api->ReleaseReference(call.handle());
}

FutureStatus Future::status() const {
  const ApiCall call(*this, ApiCall::kUse);
  return call.api() != nullptr ? call.api()->GetFutureStatus(call.handle()) : kFutureStatusInvalid;
}

int Future::error() const {
  const ApiCall call(*this, ApiCall::kUse);
  return call.api() != nullptr ? call.api()->GetFutureError(call.handle()) : -1;
}

std::string Future::error_message() const {
  const ApiCall call(*this, ApiCall::kUse);
  return call.api() != nullptr ? call.api()->GetFutureErrorMessage(call.handle())
                               : std::string("Invalid Future");
}

const void* Future::result_void() const {
  const ApiCall call(*this, ApiCall::kUse);
  return call.api() != nullptr ? call.api()->GetFutureResult(call.handle()) : nullptr;
}

void Future::OnCompletion(CompletionCallback callback, void* user_data) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() != nullptr) {
    call.api()->AddCompletionCallback(call.handle(), callback, user_data, nullptr, true);
  }
}

void Future::OnCompletion(std::function<void(const Future&)> callback) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() != nullptr) {
    call.api()->AddCompletionFunction(call.handle(), std::move(callback), true);
  }
}

CompletionCallbackHandle Future::AddOnCompletion(CompletionCallback callback,
                                                 void* user_data) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() == nullptr) return {};
  return call.api()->AddCompletionCallback(call.handle(), callback, user_data, nullptr, false);
}

CompletionCallbackHandle Future::AddOnCompletion(
    std::function<void(const Future&)> callback) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() == nullptr) return {};
  return call.api()->AddCompletionFunction(call.handle(), std::move(callback), false);
}

void Future::RemoveOnCompletion(const CompletionCallbackHandle& handle) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() != nullptr) call.api()->RemoveCompletionCallback(call.handle(), handle);
}

}  // namespace nimbus
