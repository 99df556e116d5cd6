#include "app/callback.h"

#include <thread>
#include <utility>

#include "app/assert.h"
#include "app/log.h"
#include "app/process_locks.h"

namespace nimbus::callback {

Callback::~Callback() = default;

CallbackStdFunction::CallbackStdFunction(std::function<void()> function)
    : function_(std::move(function)) {}

void CallbackStdFunction::Run() {
  NIMBUS_ASSERT_RETURN_VOID(function_ != nullptr);
  function_();
}

BlockingCallback::BlockingCallback(std::unique_ptr<Callback> inner,
                                   std::shared_ptr<Semaphore> semaphore)
    : inner_(std::move(inner)), semaphore_(std::move(semaphore)) {}

BlockingCallback::~BlockingCallback() {
  // Release the waiter first: destroying the inner callback may take arbitrarily long.
  if (semaphore_ != nullptr) semaphore_->Post();
  inner_.reset();
}

void BlockingCallback::Run() {
  if (inner_ != nullptr) inner_->Run();
}

CallbackEntry::CallbackEntry(std::unique_ptr<Callback> callback,
                             std::shared_ptr<Mutex> execution_lock)
    : callback_(std::move(callback)), execution_lock_(std::move(execution_lock)) {}

CallbackEntry::~CallbackEntry() { DisableCallback(); }

bool CallbackEntry::Execute() {
  Callback* callback;
  {
    MutexLock lock(*execution_lock_);
    if (callback_ == nullptr) return false;
    executing_ = true;
    callback = callback_.get();
  }
  // No lock is held while the callback runs, so it may queue or remove callbacks.
  callback->Run();
  {
    MutexLock lock(*execution_lock_);
    executing_ = false;
  }
  DisableCallback();
  return true;
}

bool CallbackEntry::DisableCallback() {
  std::unique_ptr<Callback> doomed;
  {
    MutexLock lock(*execution_lock_);
    if (executing_ || callback_ == nullptr) return false;
    doomed = std::move(callback_);
  }
  // Destroyed outside the lock: a destructor may do anything, including releasing a waiter.
  doomed.reset();
  return true;
}

CallbackDispatcher::CallbackDispatcher()
    : queue_lock_(Mutex::kModeRecursive),
      execution_lock_(std::make_shared<Mutex>(Mutex::kModeRecursive)) {}

CallbackDispatcher::~CallbackDispatcher() {
  std::list<std::shared_ptr<CallbackEntry>> pending;
  {
    MutexLock lock(queue_lock_);
    if (!queue_.empty()) {
      LogWarning("Callback dispatcher shut down with %d pending callbacks",
                 static_cast<int>(queue_.size()));
    }
    pending.swap(queue_);
  }
  for (const auto& entry : pending) entry->DisableCallback();
}

std::shared_ptr<CallbackEntry> CallbackDispatcher::AddCallback(std::unique_ptr<Callback> callback) {
  auto entry = std::make_shared<CallbackEntry>(std::move(callback), execution_lock_);
  MutexLock lock(queue_lock_);
  queue_.push_back(entry);
  return entry;
}

void CallbackDispatcher::DisableCallback(const std::shared_ptr<CallbackEntry>& entry) {
  MutexLock lock(queue_lock_);
  entry->DisableCallback();
}

std::shared_ptr<CallbackEntry> CallbackDispatcher::TakeFirst() {
  MutexLock lock(queue_lock_);
  if (queue_.empty()) return nullptr;
  std::shared_ptr<CallbackEntry> entry = std::move(queue_.front());
  queue_.pop_front();
  return entry;
}

int CallbackDispatcher::DispatchCallbacks() {
  int taken = 0;
  while (std::shared_ptr<CallbackEntry> entry = TakeFirst()) {
    ++taken;
    entry->Execute();
  }
  return taken;
}

std::list<std::shared_ptr<CallbackEntry>> CallbackDispatcher::TakeAll() {
  std::list<std::shared_ptr<CallbackEntry>> taken;
  MutexLock lock(queue_lock_);
  taken.swap(queue_);
  return taken;
}

namespace {

// The module, guarded by the callback lock. Never destroyed, so code running at process
// exit can still use it.
struct Module {
  int reference_count = 0;
  // Shared so that a poll in progress keeps its dispatcher while the module turns off.
  std::shared_ptr<CallbackDispatcher> dispatcher;
  std::thread::id dispatching_thread;
  bool dispatching_thread_known = false;
};

Module& GetModule() {
  static Module* const module = new Module();
  return *module;
}

// Called with the callback lock held. Returns the dispatcher when the module turned off;
// the caller lets go of it after releasing the lock, which discards what is still queued.
std::shared_ptr<CallbackDispatcher> ReduceCountLocked(int amount) {
  Module& module = GetModule();
  if (module.reference_count == 0) {
    LogWarning("Callback module already shut down");
    return nullptr;
  }
  module.reference_count -= amount;
  if (module.reference_count < 0) {
    LogDebug("WARNING: Callback module ref count = %d", module.reference_count);
    module.reference_count = 0;
  }
  if (module.reference_count > 0) return nullptr;
  return std::move(module.dispatcher);
}

bool OnDispatchingThread() {
  MutexLock lock(CallbackLock());
  const Module& module = GetModule();
  return module.dispatching_thread_known && module.dispatching_thread == std::this_thread::get_id();
}

}  // namespace

void Initialize() {
  MutexLock lock(CallbackLock());
  Module& module = GetModule();
  if (module.reference_count == 0) module.dispatcher = std::make_shared<CallbackDispatcher>();
  ++module.reference_count;
}

void Terminate(bool flush) {
  std::list<std::shared_ptr<CallbackEntry>> discarded;
  std::shared_ptr<CallbackDispatcher> retired;
  {
    MutexLock lock(CallbackLock());
    Module& module = GetModule();
    if (flush && module.dispatcher != nullptr) discarded = module.dispatcher->TakeAll();
    retired = ReduceCountLocked(1 + static_cast<int>(discarded.size()));
  }
  for (const auto& entry : discarded) entry->DisableCallback();
}

CallbackHandle AddCallback(std::unique_ptr<Callback> callback) {
  NIMBUS_ASSERT_RETURN(callback != nullptr, nullptr);
  MutexLock lock(CallbackLock());
  Initialize();
  return GetModule().dispatcher->AddCallback(std::move(callback));
}

CallbackHandle RunNowOrQueue(std::unique_ptr<Callback> callback) {
  NIMBUS_ASSERT_RETURN(callback != nullptr, nullptr);
  if (OnDispatchingThread()) {
    callback->Run();
    return nullptr;
  }
  return AddCallback(std::move(callback));
}

void AddBlockingCallback(std::unique_ptr<Callback> callback) {
  NIMBUS_ASSERT_RETURN_VOID(callback != nullptr);
  if (OnDispatchingThread()) {
    callback->Run();
    return;
  }
  auto done = std::make_shared<Semaphore>(0);
  AddCallback(std::make_unique<BlockingCallback>(std::move(callback), done));
  done->Wait();
}

void RemoveCallback(const CallbackHandle& handle) {
  if (handle == nullptr) return;
  std::shared_ptr<CallbackDispatcher> retired;
  MutexLock lock(CallbackLock());
  Module& module = GetModule();
  if (module.reference_count <= 0) return;
  Initialize();
  module.dispatcher->DisableCallback(handle);
  retired = ReduceCountLocked(1);
  // `retired` is declared before the lock, so it is let go of after the lock is released.
}

void PollCallbacks() {
  std::shared_ptr<CallbackDispatcher> dispatcher;
  {
    MutexLock lock(CallbackLock());
    Module& module = GetModule();
    if (module.reference_count < 1) return;
    Initialize();
    dispatcher = module.dispatcher;
    module.dispatching_thread = std::this_thread::get_id();
    module.dispatching_thread_known = true;
  }
  const int taken = dispatcher->DispatchCallbacks();
  std::shared_ptr<CallbackDispatcher> retired;
  {
    MutexLock lock(CallbackLock());
    retired = ReduceCountLocked(taken + 1);
  }
}

bool IsInitialized() {
  MutexLock lock(CallbackLock());
  return GetModule().reference_count > 0;
}

}  // namespace nimbus::callback
