#include "app/scheduler.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <limits>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "app/log.h"
#include "app/mutex.h"
#include "app/semaphore.h"
#include "app/tick_clock.h"

namespace nimbus::scheduler {

// Shared by a request and every handle given out for it.
struct RequestStatusBlock {
  // Held while the callback runs. Recursive, so that a callback can query or cancel its own
  // request instead of waiting for itself.
  Mutex mutex{Mutex::kModeRecursive};
  bool cancelled = false;
  bool triggered = false;
  bool repeat = false;
};

namespace {

struct Request {
  uint64_t id = 0;
  std::shared_ptr<callback::Callback> callback;
  uint64_t delay_ms = 0;
  uint64_t repeat_ms = 0;
  uint64_t due_ms = 0;
  std::shared_ptr<RequestStatusBlock> status;
};

using RequestQueue = std::vector<std::unique_ptr<Request>>;

// The standard heap functions keep the greatest element first; "greater" here means "runs
// earlier": the earlier due time, and among equal due times the smaller (older) id.
bool RunsLater(const std::unique_ptr<Request>& a, const std::unique_ptr<Request>& b) {
  if (a->due_ms != b->due_ms) return a->due_ms > b->due_ms;
  return a->id > b->id;
}

// A delay added to the clock; a delay too long to represent means "never" rather than
// wrapping round to a time in the past.
uint64_t DueTime(uint64_t now, uint64_t delay) {
  const uint64_t max = std::numeric_limits<uint64_t>::max();
  return delay > max - now ? max : now + delay;
}

}  // namespace

struct Scheduler::State {
  // Guards everything below but the semaphores.
  Mutex queue_mutex{Mutex::kModeRecursive};
  // Counts wake-ups of the worker: new requests and shutdown.
  Semaphore wake{0};
  RequestQueue queue;
  uint64_t next_id = 0;
  bool terminating = false;
  bool worker_started = false;
  std::thread worker;
  std::thread::id worker_id;
  // Posted when the worker leaves its loop, and re-posted by each waiter, so that every
  // Shutdown caller can wait for the worker's end.
  Semaphore worker_exited{0};

  void Push(std::unique_ptr<Request> request) {
    queue.push_back(std::move(request));
    std::push_heap(queue.begin(), queue.end(), RunsLater);
  }

  std::unique_ptr<Request> Pop() {
    std::pop_heap(queue.begin(), queue.end(), RunsLater);
    std::unique_ptr<Request> request = std::move(queue.back());
    queue.pop_back();
    return request;
  }

  // The worker thread's body. It holds the state until it ends.
  static void WorkerLoop(std::shared_ptr<State> state) {
    for (;;) {
      const uint64_t now = TickCountMilliseconds();
      std::unique_ptr<Request> due;
      bool wait_forever = false;
      uint64_t wait_ms = 0;
      {
        MutexLock lock(state->queue_mutex);
        // Checked on every pass, not only after a wait, so a worker kept busy by due
        // requests still stops promptly.
        if (state->terminating) break;
        if (state->queue.empty()) {
          wait_forever = true;
        } else if (state->queue.front()->due_ms <= now) {
          due = state->Pop();
        } else {
          wait_ms = state->queue.front()->due_ms - now;
        }
      }
      if (due != nullptr) {
        state->Run(std::move(due), now);
        continue;
      }
      if (wait_forever) {
        state->wake.Wait();
      } else {
        // Longer waits are cut to what the semaphore takes; the next pass waits again.
        state->wake.TimedWait(static_cast<int>(std::min<uint64_t>(wait_ms, INT_MAX)));
      }
      // Any number of wake-ups is handled by one pass.
      while (state->wake.TryWait()) {
      }
    }
    state->worker_exited.Post();
  }

  // Runs a due request on the worker. `pass_start` is the clock reading of the worker pass
  // that popped it; a repeating request is due again one interval after it.
  void Run(std::unique_ptr<Request> request, uint64_t pass_start) {
    bool again = false;
    {
      const std::shared_ptr<RequestStatusBlock> status = request->status;
      MutexLock lock(status->mutex);
      if (request->callback != nullptr && !status->cancelled) {
        request->callback->Run();
        status->triggered = true;
        // A callback that cancelled its own request is not queued again.
        again = request->repeat_ms != 0 && !status->cancelled;
      }
    }
    if (!again) return;  // The request and its callback go away here, outside every lock.
    request->due_ms = DueTime(pass_start, request->repeat_ms);
    MutexLock lock(queue_mutex);
    Push(std::move(request));
  }

  void Shutdown() {
    std::thread stopping;
    bool first = false;
    bool wait_for_exit = false;
    {
      MutexLock lock(queue_mutex);
      if (!terminating) {
        terminating = true;
        first = true;
        stopping = std::move(worker);
      } else {
        wait_for_exit = worker_started && worker_id != std::this_thread::get_id();
      }
    }
    if (first) {
      wake.Post();
      if (!stopping.joinable()) return;
      if (stopping.get_id() == std::this_thread::get_id()) {
        // Shut down from one of its own callbacks: the worker cannot join itself. It sees
        // the flag when the callback returns and ends on its own, holding the state.
        stopping.detach();
      } else {
        stopping.join();
      }
      return;
    }
    // Another caller is shutting down: wait with it for the worker's end.
    if (wait_for_exit) {
      worker_exited.Wait();
      worker_exited.Post();
    }
  }
};

ScheduleHandle::ScheduleHandle() = default;
ScheduleHandle::~ScheduleHandle() = default;
ScheduleHandle::ScheduleHandle(const ScheduleHandle&) = default;
ScheduleHandle& ScheduleHandle::operator=(const ScheduleHandle&) = default;
ScheduleHandle::ScheduleHandle(std::shared_ptr<RequestStatusBlock> status)
    : status_(std::move(status)) {}

bool ScheduleHandle::Cancel() {
  if (status_ == nullptr) return false;
  MutexLock lock(status_->mutex);
  if (status_->cancelled || (!status_->repeat && status_->triggered)) return false;
  status_->cancelled = true;
  return true;
}

bool ScheduleHandle::IsCancelled() const {
  if (status_ == nullptr) return false;
  MutexLock lock(status_->mutex);
  return status_->cancelled;
}

bool ScheduleHandle::IsTriggered() const {
  if (status_ == nullptr) return false;
  MutexLock lock(status_->mutex);
  return status_->triggered;
}

Scheduler::Scheduler() : state_(std::make_shared<State>()) {}

Scheduler::~Scheduler() { state_->Shutdown(); }

ScheduleHandle Scheduler::Schedule(std::unique_ptr<callback::Callback> callback, uint64_t delay_ms,
                                   uint64_t repeat_ms) {
  auto request = std::make_unique<Request>();
  request->callback = std::move(callback);
  request->delay_ms = delay_ms;
  request->repeat_ms = repeat_ms;
  request->status = std::make_shared<RequestStatusBlock>();
  request->status->repeat = repeat_ms != 0;
  ScheduleHandle handle(request->status);

  MutexLock lock(state_->queue_mutex);
  if (!state_->worker_started && !state_->terminating) {
    try {
      state_->worker = std::thread(State::WorkerLoop, state_);
      state_->worker_id = state_->worker.get_id();
      state_->worker_started = true;
    } catch (const std::system_error& error) {
      // The request stays queued; the next Schedule tries again. When the process is out of
      // threads every scheduler fails alike: one line says it.
      static std::atomic<bool> reported{false};
      if (!reported.exchange(true)) {
        LogError("Scheduler could not start its worker thread: %s", error.what());
      }
    }
  }
  request->id = ++state_->next_id;
  request->due_ms = DueTime(TickCountMilliseconds(), delay_ms);
  state_->Push(std::move(request));
  state_->wake.Post();
  return handle;
}

bool Scheduler::HasWorker() const {
  MutexLock lock(state_->queue_mutex);
  return state_->worker_started;
}

ScheduleHandle Scheduler::Schedule(std::function<void()> callback, uint64_t delay_ms,
                                   uint64_t repeat_ms) {
  std::unique_ptr<callback::Callback> wrapped;
  if (callback != nullptr)
    wrapped = std::make_unique<callback::CallbackStdFunction>(std::move(callback));
  return Schedule(std::move(wrapped), delay_ms, repeat_ms);
}

void Scheduler::Shutdown() { state_->Shutdown(); }

}  // namespace nimbus::scheduler
