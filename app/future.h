#ifndef TERVALA_APP_FUTURE_H_
#define TERVALA_APP_FUTURE_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/mutex.h"

// The outcome of an asynchronous operation of the app core. A caller receives a Future at
// once and later reads its status, error and result, or is called back when it completes.
// The state behind each future lives in the future API that issued it.
namespace nimbus {

enum FutureStatus {
  kFutureStatusComplete = 0,  // Finished: error and result are final.
  kFutureStatusPending = 1,   // Not finished yet.
  kFutureStatusInvalid = 2,   // Names no live future.
};

class Future;

namespace detail {
class FutureApiInterface;
}  // namespace detail

using FutureHandleId = uint64_t;

// Names one future of one future API by its id. A handle that carries its API holds one
// reference to the future, and so does each copy; a handle with only an id holds none. When
// the API goes away first, its handles are detached (their API becomes null) and release
// nothing; a handle in use on another thread meanwhile is waited for, not freed under it.
class FutureHandle {
 public:
  // The invalid handle: id 0, no API.
  FutureHandle() = default;
  // A handle that names a future without holding it.
  explicit FutureHandle(FutureHandleId id) : id_(id) {}
  FutureHandle(const FutureHandle& other);
  FutureHandle& operator=(const FutureHandle& other);
  FutureHandle(FutureHandle&& other) noexcept;
  FutureHandle& operator=(FutureHandle&& other) noexcept;
  ~FutureHandle();

  FutureHandleId id() const { return id_; }
  detail::FutureApiInterface* api() const { return api_.load(std::memory_order_acquire); }
  bool is_valid() const { return id_ != 0; }

 private:
  friend class ReferenceCountedFutureImpl;
  class ApiCall;

  // Holds a new reference to future `id` of `api`.
  FutureHandle(FutureHandleId id, detail::FutureApiInterface* api);

  // Takes a reference through `call`'s API, when it has one and the future is alive.
  void Attach(const ApiCall& call);
  void Release();
  void MoveFrom(FutureHandle& other);
  static void DetachFromApi(void* handle);

  FutureHandleId id_ = 0;
  // Written under the process-wide handle lock, since the API detaches its handles from the
  // thread that destroys it while their owners may be using them.
  std::atomic<detail::FutureApiInterface*> api_{nullptr};
};

// Called once with the completed future and the user data it was added with.
using CompletionCallback = void (*)(const Future& result, void* user_data);
// Frees user data; called once, after the callback ran or when it is dropped unrun.
using UserDataDeleter = void (*)(void* user_data);

// Names a completion callback added to a future, for removing it again. Empty when the
// callback already ran (or could not be added).
struct CompletionCallbackHandle {
  CompletionCallback callback = nullptr;
  void* user_data = nullptr;
  UserDataDeleter user_data_delete_fn = nullptr;

  bool empty() const {
    return callback == nullptr && user_data == nullptr && user_data_delete_fn == nullptr;
  }
};

namespace detail {

// What a Future needs from the API that issued it.
class FutureApiInterface {
 public:
  virtual ~FutureApiInterface();
  virtual void AddReference(const FutureHandle& handle) = 0;
  virtual void ReleaseReference(const FutureHandle& handle) = 0;
  virtual FutureStatus GetFutureStatus(const FutureHandle& handle) const = 0;
  virtual int GetFutureError(const FutureHandle& handle) const = 0;
  virtual std::string GetFutureErrorMessage(const FutureHandle& handle) const = 0;
  // The result, only once the future is complete; null before.
  virtual const void* GetFutureResult(const FutureHandle& handle) const = 0;
  // With `single_completion`, replaces the future's previous single callback. On a future
  // that is already complete the callback runs before this returns.
  virtual CompletionCallbackHandle AddCompletionCallback(const FutureHandle& handle,
                                                         CompletionCallback callback,
                                                         void* user_data,
                                                         UserDataDeleter user_data_delete_fn,
                                                         bool single_completion) = 0;
  virtual void RemoveCompletionCallback(const FutureHandle& handle,
                                        const CompletionCallbackHandle& callback_handle) = 0;
  virtual CompletionCallbackHandle AddCompletionFunction(
      const FutureHandle& handle, std::function<void(const Future&)> callback,
      bool single_completion) = 0;
  // Futures registered here are released when the API goes away.
  virtual void RegisterForCleanup(Future* future) = 0;
  virtual void UnregisterForCleanup(Future* future) = 0;

  // True while this thread is inside a call into this API (a completion callback or a
  // delete function of it may be running).
  bool InCallOnThisThread() const;
  // Destroys this API (made with new) now, or, when this thread is inside a call into it,
  // as soon as the outermost of those calls returns: the way for a completion callback to
  // drop the API that runs it.
  void DestroyWhenCallsReturn();

  // Marks a call of this thread into the API for as long as it lives, so that the API,
  // asked to go away from inside the call (by a completion callback or a delete function),
  // waits for the call to return. Calls nest; the outermost one of a thread ends last.
  class CallScope {
   public:
    explicit CallScope(FutureApiInterface* api);
    // A scope that marks no call until Enter names its API.
    CallScope() : CallScope(nullptr) {}
    void Enter(FutureApiInterface* api) { api_ = api; }
    // Destroys the API when it was asked to go away during this, the thread's outermost
    // call into it.
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

   private:
    friend class FutureApiInterface;
    FutureApiInterface* api_;
    CallScope* outer_;
    bool destroy_api_ = false;
  };

 protected:
  // For the destructor of an implementation, before it releases its futures and with none
  // of its locks held: copies of its futures made from now on come out invalid, and the
  // calls that Futures are already making into it are waited for.
  void BeginClosing();
  // Waits until no Future is in a call into this API. The destructor calls it again after
  // releasing its futures, since a Future may have started its own release meanwhile.
  void WaitForFutureCalls();

 private:
  friend class ::nimbus::Future;
  friend class ::nimbus::FutureHandle;
  // A Future's call into this API begins (under the Future's mutex, which keeps the API
  // from going before the count is up) and ends. False when the API is closing.
  bool BeginFutureCall();
  void EndFutureCall();

  // A leaf lock: nothing else is taken while it is held.
  std::mutex calls_lock_;
  std::condition_variable calls_ended_;
  int calls_ = 0;
  bool closing_ = false;
};

}  // namespace detail

// A caller's hold on one future: exactly one reference, given up by Release or destruction.
// Copies hold references of their own. A Future whose API went away reads as invalid.
class Future {
 public:
  // An invalid future.
  Future();
  Future(detail::FutureApiInterface* api, const FutureHandle& handle);
  Future(const Future& other);
  Future& operator=(const Future& other);
  Future(Future&& other) noexcept;
  Future& operator=(Future&& other) noexcept;
  ~Future();

  // Gives up this future's reference; it then reads as invalid.
  void Release();

  FutureStatus status() const;
  // The error code once complete; -1 for an invalid future.
  int error() const;
  // The error message once complete; "Invalid Future" for an invalid future.
  std::string error_message() const;
  // The result, once complete; null before and for an invalid future.
  const void* result_void() const;
  template <typename T>
  const T* result() const {
    return static_cast<const T*>(result_void());
  }

  // Sets the single completion callback, replacing an earlier one.
  void OnCompletion(CompletionCallback callback, void* user_data) const;
  void OnCompletion(std::function<void(const Future&)> callback) const;
  // Adds one more completion callback; the handle removes it again.
  CompletionCallbackHandle AddOnCompletion(CompletionCallback callback, void* user_data) const;
  CompletionCallbackHandle AddOnCompletion(std::function<void(const Future&)> callback) const;
  void RemoveOnCompletion(const CompletionCallbackHandle& handle) const;

  // The id of the future; the handle holds no reference of its own.
  const FutureHandle& GetHandle() const { return handle_; }

 private:
  class ApiCall;

  void Adopt(detail::FutureApiInterface* api, FutureHandleId id);
  void StealFrom(Future& other);

  // Guards the API pointer. A call into the API is counted by the API under this mutex,
  // so the API cannot go away between reading the pointer and the end of the call.
  mutable Mutex mutex_;
  detail::FutureApiInterface* api_ = nullptr;
  FutureHandle handle_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_FUTURE_H_
