#ifndef TERVALA_APP_CALLBACK_H_
#define TERVALA_APP_CALLBACK_H_

#include <functional>
#include <list>
#include <memory>

#include "app/mutex.h"
#include "app/semaphore.h"

// Work queued for a chosen thread. Any thread queues callbacks in the process-wide callback
// module; they run, in queue order, on the thread that calls PollCallbacks. The module is
// reference-counted and exists only while someone holds a reference: each app holds one
// for its life, and each queued callback one until it has been dispatched.
namespace nimbus::callback {

// A unit of work. Once queued, the module owns it.
class Callback {
 public:
  virtual ~Callback();
  virtual void Run() = 0;
};

// Runs a function object. The function must not be empty.
class CallbackStdFunction : public Callback {
 public:
  explicit CallbackStdFunction(std::function<void()> function);
  void Run() override;

 private:
  std::function<void()> function_;
};

// Wraps a callback for a thread that waits on `semaphore` until it is done. The semaphore
// is posted when this object goes away, whether the inner callback ran or was discarded, so
// the waiter is always released. The semaphore is shared because the waiter may return and
// let go of it while the post is still in progress.
class BlockingCallback : public Callback {
 public:
  BlockingCallback(std::unique_ptr<Callback> inner, std::shared_ptr<Semaphore> semaphore);
  ~BlockingCallback() override;
  void Run() override;

 private:
  std::unique_ptr<Callback> inner_;
  std::shared_ptr<Semaphore> semaphore_;
};

// One queued callback. Shared by the queue and by whoever holds its handle; when the last
// owner lets go, a callback that never ran is destroyed without running.
class CallbackEntry {
 public:
  CallbackEntry(std::unique_ptr<Callback> callback, std::shared_ptr<Mutex> execution_lock);
  ~CallbackEntry();
  CallbackEntry(const CallbackEntry&) = delete;
  CallbackEntry& operator=(const CallbackEntry&) = delete;

  // Runs the callback, then destroys it. False when it had been disabled.
  bool Execute();
  // Destroys the callback without running it. False when it is running right now or is
  // already gone.
  bool DisableCallback();

 private:
  std::unique_ptr<Callback> callback_;
  // The dispatcher's execution lock, shared so that an entry held by a caller stays usable
  // after its dispatcher has gone.
  std::shared_ptr<Mutex> execution_lock_;
  bool executing_ = false;
};

// The queue of callbacks behind the module.
class CallbackDispatcher {
 public:
  CallbackDispatcher();
  // Discards, without running them, the callbacks still queued, with a warning.
  ~CallbackDispatcher();
  CallbackDispatcher(const CallbackDispatcher&) = delete;
  CallbackDispatcher& operator=(const CallbackDispatcher&) = delete;

  std::shared_ptr<CallbackEntry> AddCallback(std::unique_ptr<Callback> callback);
  void DisableCallback(const std::shared_ptr<CallbackEntry>& entry);
  // Runs queued entries on the calling thread until the queue is seen empty; callbacks queued
  // meanwhile run too. Returns the number of entries taken, run or disabled.
  int DispatchCallbacks();
  // Removes every queued entry and returns them, not run.
  std::list<std::shared_ptr<CallbackEntry>> TakeAll();

 private:
  std::shared_ptr<CallbackEntry> TakeFirst();

  std::list<std::shared_ptr<CallbackEntry>> queue_;
  Mutex queue_lock_;
  std::shared_ptr<Mutex> execution_lock_;
};

// The caller's hold on a queued callback; null when the callback already ran.
using CallbackHandle = std::shared_ptr<CallbackEntry>;

// Adds a reference to the module, turning it on when it was off.
void Initialize();
// Drops a reference. With `flush`, the queued callbacks are first discarded without running
// and their references dropped too. At zero references the module turns off and discards
// whatever is still queued.
void Terminate(bool flush);
// Queues `callback` (adding a reference for it, which dispatching drops).
CallbackHandle AddCallback(std::unique_ptr<Callback> callback);
// Runs `callback` at once when called on the dispatching thread (returning null), else
// queues it.
CallbackHandle RunNowOrQueue(std::unique_ptr<Callback> callback);
// Runs `callback` on the dispatching thread and returns when it has run or was discarded. On
// the dispatching thread itself it runs at once.
void AddBlockingCallback(std::unique_ptr<Callback> callback);
// Keeps a queued callback from running; it still counts as dispatched.
void RemoveCallback(const CallbackHandle& handle);
// Runs every queued callback on the calling thread, which becomes the dispatching thread.
void PollCallbacks();
// Whether the module is on (holds references).
bool IsInitialized();

}  // namespace nimbus::callback

#endif  // TERVALA_APP_CALLBACK_H_
