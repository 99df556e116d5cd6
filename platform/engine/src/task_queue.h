// The engine thread's queue of tasks: immediate and delayed tasks, run in order of their due
// time by one thread that sleeps until the next one is due or something is posted (never
// polling).
#ifndef TERVALA_PLATFORM_ENGINE_SRC_TASK_QUEUE_H_
#define TERVALA_PLATFORM_ENGINE_SRC_TASK_QUEUE_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <queue>
#include <vector>

namespace vela_engine {

// Runs `work`; an exception it throws (a C++ bundle's) is reported on standard error and
// goes no further, so the engine thread carries on.
void RunGuarded(const std::function<void()>& work);

// A task queue that one thread runs with Run() until Stop(). Tasks with the same due time run
// in the order they were posted.
class TaskQueue {
 public:
  using Task = std::function<void()>;
  using Clock = std::chrono::steady_clock;

  TaskQueue() = default;
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;

  // Queues `task` to run after `delay` (any thread). False once Stop() has been called.
  bool Post(Task task, std::chrono::milliseconds delay = std::chrono::milliseconds(0));

  // Runs tasks (each guarded by RunGuarded) until Stop(); then drops the tasks still queued, runs
  // the final task given to Stop() and returns.
  void Run();

  // Ends Run() after the task under way (any thread): later posts are refused and `final`
  // is the last task Run() runs.
  void Stop(Task final);

  // Drops every queued task without running it (for a queue that never ran).
  void Discard();

 private:
  struct Entry {
    Clock::time_point due;
    uint64_t sequence;
    Task task;
  };
  struct Later {
    bool operator()(const Entry& a, const Entry& b) const {
      if (a.due != b.due) return a.due > b.due;
      return a.sequence > b.sequence;
    }
  };

  std::mutex mutex_;
  std::condition_variable wake_;
  std::priority_queue<Entry, std::vector<Entry>, Later> entries_;
  uint64_t next_sequence_ = 0;
  bool stopping_ = false;
  Task final_;
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_TASK_QUEUE_H_
