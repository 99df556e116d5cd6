#include "app/future.h"

#include <utility>

#include "app/cleanup_list.h"

namespace nimbus {

namespace detail {

FutureApiInterface::~FutureApiInterface() = default;

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

FutureHandle::FutureHandle(FutureHandleId id, detail::FutureApiInterface* api)
    : id_(id), api_(api) {
  Attach();
}

FutureHandle::FutureHandle(const FutureHandle& other) : id_(other.id_), api_(other.api_) {
  Attach();
}

FutureHandle& FutureHandle::operator=(const FutureHandle& other) {
  if (this != &other) {
    Release();
    id_ = other.id_;
    api_ = other.api_;
    Attach();
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

void FutureHandle::Attach() {
  if (api_ == nullptr) return;
  // A copy of a handle whose future is gone holds nothing, so it releases nothing later.
  if (id_ == 0 || api_->GetFutureStatus(*this) == kFutureStatusInvalid) {
    api_ = nullptr;
    return;
  }
  api_->AddReference(*this);
  if (CleanupList* notifier = CleanupList::FindByOwner(api_)) {
    notifier->RegisterObject(this, &FutureHandle::DetachFromApi);
  }
}

void FutureHandle::Release() {
  detail::FutureApiInterface* const api = api_;
  if (api == nullptr) return;
  if (CleanupList* notifier = CleanupList::FindByOwner(api)) notifier->UnregisterObject(this);
  api_ = nullptr;
  api->ReleaseReference(FutureHandle(id_));
}

void FutureHandle::MoveFrom(FutureHandle& other) {
  // The reference moves with the handle; only the registration changes address.
  id_ = other.id_;
  api_ = other.api_;
  if (api_ != nullptr) {
    if (CleanupList* notifier = CleanupList::FindByOwner(api_)) {
      notifier->UnregisterObject(&other);
      notifier->RegisterObject(this, &FutureHandle::DetachFromApi);
    }
  }
  other.api_ = nullptr;
}

void FutureHandle::DetachFromApi(void* handle) {
  static_cast<FutureHandle*>(handle)->api_ = nullptr;
}

// Future ---------------------------------------------------------------------------------

// One call of a Future into its API, counted by the API for as long as it lasts, so that
// the API, destroyed on another thread, waits for it. The pointer is read and the count
// taken under the future's mutex; the call itself runs with no lock of the future held, so
// the API's cleanup (which takes that mutex while holding its own locks) cannot deadlock
// with it.
class Future::ApiCall {
 public:
  enum Kind {
    kUse,      // reads or adds callbacks: nothing, when the API is closing
    kCopy,     // takes a new reference: nothing, when the API is closing
    kRelease,  // takes the future's reference away from it, even when the API is closing
  };

  ApiCall(const Future& future, Kind kind) {
    MutexLock lock(future.mutex_);
    api_ = future.api_;
    if (api_ == nullptr) return;
    open_ = api_->BeginFutureCall();
    if (kind == kRelease) {
      // Only the non-const members of Future release.
      const_cast<Future&>(future).api_ = nullptr;
    } else if (!open_) {
      api_->EndFutureCall();
      api_ = nullptr;
    }
  }
  ~ApiCall() {
    if (api_ != nullptr) api_->EndFutureCall();
  }
  ApiCall(const ApiCall&) = delete;
  ApiCall& operator=(const ApiCall&) = delete;

  detail::FutureApiInterface* api() const { return api_; }
  // False when the API has begun to close.
  bool open() const { return open_; }

 private:
  detail::FutureApiInterface* api_ = nullptr;
  bool open_ = false;
};

Future::Future() : mutex_(Mutex::kModeNonRecursive) {}

Future::Future(detail::FutureApiInterface* api, const FutureHandle& handle)
    : mutex_(Mutex::kModeNonRecursive) {
  Adopt(api, handle.id());
}

Future::Future(const Future& other) : mutex_(Mutex::kModeNonRecursive) {
  const ApiCall call(other, ApiCall::kCopy);
  Adopt(call.api(), other.handle_.id());
}

Future& Future::operator=(const Future& other) {
  if (this != &other) {
    const ApiCall call(other, ApiCall::kCopy);
    const FutureHandleId id = other.handle_.id();
    Release();
    Adopt(call.api(), id);
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
  handle_ = FutureHandle(id);
  // A future that is already gone is held as invalid, so that nothing is released for it
  // later.
  if (api == nullptr || id == 0 || api->GetFutureStatus(handle_) == kFutureStatusInvalid) return;
  api->AddReference(handle_);
  {
    MutexLock lock(mutex_);
    api_ = api;
  }
  api->RegisterForCleanup(this);
}

void Future::StealFrom(Future& other) {
  handle_ = FutureHandle(other.handle_.id());
  const ApiCall call(other, ApiCall::kRelease);
  detail::FutureApiInterface* const api = call.api();
  if (api == nullptr) return;
  api->UnregisterForCleanup(&other);
  if (!call.open()) {
    // The API is releasing its futures: the reference goes rather than moving to an address
    // it may no longer clean up.
    api->ReleaseReference(handle_);
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
  api->ReleaseReference(handle_);
}

FutureStatus Future::status() const {
  const ApiCall call(*this, ApiCall::kUse);
  return call.api() != nullptr ? call.api()->GetFutureStatus(handle_) : kFutureStatusInvalid;
}

int Future::error() const {
  const ApiCall call(*this, ApiCall::kUse);
  return call.api() != nullptr ? call.api()->GetFutureError(handle_) : -1;
}

std::string Future::error_message() const {
  const ApiCall call(*this, ApiCall::kUse);
  return call.api() != nullptr ? call.api()->GetFutureErrorMessage(handle_)
                               : std::string("Invalid Future");
}

const void* Future::result_void() const {
  const ApiCall call(*this, ApiCall::kUse);
  return call.api() != nullptr ? call.api()->GetFutureResult(handle_) : nullptr;
}

void Future::OnCompletion(CompletionCallback callback, void* user_data) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() != nullptr) {
    call.api()->AddCompletionCallback(handle_, callback, user_data, nullptr, true);
  }
}

void Future::OnCompletion(std::function<void(const Future&)> callback) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() != nullptr) call.api()->AddCompletionFunction(handle_, std::move(callback), true);
}

CompletionCallbackHandle Future::AddOnCompletion(CompletionCallback callback,
                                                 void* user_data) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() == nullptr) return {};
  return call.api()->AddCompletionCallback(handle_, callback, user_data, nullptr, false);
}

CompletionCallbackHandle Future::AddOnCompletion(
    std::function<void(const Future&)> callback) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() == nullptr) return {};
  return call.api()->AddCompletionFunction(handle_, std::move(callback), false);
}

void Future::RemoveOnCompletion(const CompletionCallbackHandle& handle) const {
  const ApiCall call(*this, ApiCall::kUse);
  if (call.api() != nullptr) call.api()->RemoveCompletionCallback(handle_, handle);
}

}  // namespace nimbus
