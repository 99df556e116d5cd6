#include "platform/engine/src/task_queue.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace vela_engine {

void RunGuarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "Vela engine: the bundle ended a call with an exception: %s\n",
                 error.what());
  } catch (...) {
    std::fputs("Vela engine: the bundle ended a call with an exception\n", stderr);
  }
}

bool TaskQueue::Post(Task task, std::chrono::milliseconds delay) {
  if (delay.count() < 0) delay = std::chrono::milliseconds(0);
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return false;
  entries_.push(Entry{Clock::now() + delay, next_sequence_++, std::move(task)});
  wake_.notify_one();
  return true;
}

void TaskQueue::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (stopping_) break;
    if (entries_.empty()) {
      wake_.wait(lock);
      continue;
    }
    const Clock::time_point due = entries_.top().due;
    if (due > Clock::now()) {
      wake_.wait_until(lock, due);
      continue;
    }
    // The top entry is moved out before it is popped: priority_queue only offers const access.
    Task task = std::move(const_cast<Entry&>(entries_.top()).task);
    entries_.pop();
    lock.unlock();
    RunGuarded(task);
    task = nullptr;  // Captures die on this thread, before the next task.
    lock.lock();
  }
  Task final = std::move(final_);
  lock.unlock();
  Discard();
  if (final) RunGuarded(final);
}

void TaskQueue::Stop(Task final) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return;
  stopping_ = true;
  final_ = std::move(final);
  wake_.notify_one();
}

void TaskQueue::Discard() {
  std::priority_queue<Entry, std::vector<Entry>, Later> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(entries_);
  }
  // The tasks' captures are destroyed here, outside the lock.
}

}  // namespace vela_engine
