#include "app/future.h"

#include <utility>

#include "app/cleanup_list.h"

namespace nimbus {

namespace detail {
FutureApiInterface::~FutureApiInterface() = default;
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

Future::Future() : mutex_(Mutex::kModeNonRecursive) {}

Future::Future(detail::FutureApiInterface* api, const FutureHandle& handle)
    : mutex_(Mutex::kModeNonRecursive) {
  Adopt(api, handle.id());
}

Future::Future(const Future& other) : mutex_(Mutex::kModeNonRecursive) {
  Adopt(other.Api(), other.handle_.id());
}

Future& Future::operator=(const Future& other) {
  if (this != &other) {
    detail::FutureApiInterface* const api = other.Api();
    const FutureHandleId id = other.handle_.id();
    Release();
    Adopt(api, id);
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
  detail::FutureApiInterface* api;
  {
    MutexLock lock(other.mutex_);
    api = other.api_;
    other.api_ = nullptr;
  }
  handle_ = FutureHandle(other.handle_.id());
  if (api == nullptr) return;
  // The reference moves; the registration follows the new address.
  api->UnregisterForCleanup(&other);
  {
    MutexLock lock(mutex_);
    api_ = api;
  }
  api->RegisterForCleanup(this);
}

void Future::Release() {
  detail::FutureApiInterface* api;
  {
    MutexLock lock(mutex_);
    api = api_;
    api_ = nullptr;
  }
  // Whoever cleared the API releases; the API's own cleanup, running at the same time,
  // finds it cleared and does nothing.
  if (api == nullptr) return;
  api->UnregisterForCleanup(this);
  api->ReleaseReference(handle_);
}

detail::FutureApiInterface* Future::Api() const {
  MutexLock lock(mutex_);
  return api_;
}

FutureStatus Future::status() const {
  detail::FutureApiInterface* const api = Api();
  return api != nullptr ? api->GetFutureStatus(handle_) : kFutureStatusInvalid;
}

int Future::error() const {
  detail::FutureApiInterface* const api = Api();
  return api != nullptr ? api->GetFutureError(handle_) : -1;
}

std::string Future::error_message() const {
  detail::FutureApiInterface* const api = Api();
  return api != nullptr ? api->GetFutureErrorMessage(handle_) : std::string("Invalid Future");
}

const void* Future::result_void() const {
  detail::FutureApiInterface* const api = Api();
  return api != nullptr ? api->GetFutureResult(handle_) : nullptr;
}

void Future::OnCompletion(CompletionCallback callback, void* user_data) const {
  if (detail::FutureApiInterface* const api = Api()) {
    api->AddCompletionCallback(handle_, callback, user_data, nullptr, true);
  }
}

void Future::OnCompletion(std::function<void(const Future&)> callback) const {
  if (detail::FutureApiInterface* const api = Api()) {
    api->AddCompletionFunction(handle_, std::move(callback), true);
  }
}

CompletionCallbackHandle Future::AddOnCompletion(CompletionCallback callback,
                                                 void* user_data) const {
  detail::FutureApiInterface* const api = Api();
  if (api == nullptr) return {};
  return api->AddCompletionCallback(handle_, callback, user_data, nullptr, false);
}

CompletionCallbackHandle Future::AddOnCompletion(
    std::function<void(const Future&)> callback) const {
  detail::FutureApiInterface* const api = Api();
  if (api == nullptr) return {};
  return api->AddCompletionFunction(handle_, std::move(callback), false);
}

void Future::RemoveOnCompletion(const CompletionCallbackHandle& handle) const {
  if (detail::FutureApiInterface* const api = Api()) api->RemoveCompletionCallback(handle_, handle);
}

}  // namespace nimbus
