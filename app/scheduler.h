#ifndef TERVALA_APP_SCHEDULER_H_
#define TERVALA_APP_SCHEDULER_H_

#include <cstdint>
#include <functional>
#include <memory>

#include "app/callback.h"

// A timer queue with one worker thread: callbacks run after a delay, optionally repeating,
// in due-time order (first scheduled first among equals). The worker starts with the first
// request and sleeps until the earliest due time; it never polls.
namespace nimbus::scheduler {

struct RequestStatusBlock;

// The caller's view of one scheduled request. A default-constructed handle refers to
// nothing: Cancel returns false and both flags read false.
class ScheduleHandle {
 public:
  ScheduleHandle();
  ~ScheduleHandle();
  ScheduleHandle(const ScheduleHandle&);
  ScheduleHandle& operator=(const ScheduleHandle&);

  // Stops the request from running again. True when this call cancelled it; false when it
  // was cancelled already, or is a one-shot request that has already run. Waits while the
  // request's callback is running on another thread, so once it returns the callback is not
  // running and will not run again. A callback may cancel its own request.
  bool Cancel();
  bool IsCancelled() const;
  // True once the callback has run at least once.
  bool IsTriggered() const;

 private:
  friend class Scheduler;
  explicit ScheduleHandle(std::shared_ptr<RequestStatusBlock> status);

  std::shared_ptr<RequestStatusBlock> status_;
};

// One worker thread running timed requests. Not copyable.
class Scheduler {
 public:
  Scheduler();
  // Shuts down: requests still queued never run. May be called on any thread, including
  // from a callback on the worker itself; it never waits for ever on an idle worker.
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // Runs `callback` on the worker after `delay_ms` milliseconds and then, when `repeat_ms` is
  // not 0, every `repeat_ms` milliseconds (measured from the start of the worker pass that
  // ran it) until cancelled. Never runs it inside this call. After Shutdown the request is
  // accepted but never runs.
  ScheduleHandle Schedule(std::unique_ptr<callback::Callback> callback, uint64_t delay_ms = 0,
                          uint64_t repeat_ms = 0);
  ScheduleHandle Schedule(std::function<void()> callback, uint64_t delay_ms = 0,
                          uint64_t repeat_ms = 0);

  // Whether the worker thread runs. It starts with the first request, and a request made
  // when the process can start no more threads leaves it not running (until a later request
  // starts it): nothing queued runs then, so waiting for it would be waiting in vain.
  bool HasWorker() const;

  // Stops the worker and waits for it to end (unless called on the worker itself), so no
  // callback runs once it returns. Queued requests never run. Calling it again is harmless.
  void Shutdown();

 private:
  struct State;
  // Shared with the worker thread, so a scheduler destroyed by one of its own callbacks
  // leaves the worker valid state to finish with.
  std::shared_ptr<State> state_;
};

}  // namespace nimbus::scheduler

#endif  // TERVALA_APP_SCHEDULER_H_
