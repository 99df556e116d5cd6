#ifndef TERVALA_APP_SEMAPHORE_H_
#define TERVALA_APP_SEMAPHORE_H_

#include <memory>

namespace nimbus {

// A counting semaphore: Post adds one count, the waits take one. Counts go up to
// 2147483647, so posts never fail for being too many.
class Semaphore {
 public:
  explicit Semaphore(int initial_count);
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Lets one waiter, present or future, pass.
  void Post();
  // Blocks until a count can be taken.
  void Wait();
  // Takes a count when one is there; never blocks.
  bool TryWait();
  // Waits at most `milliseconds` (on a monotonic clock); true when a count was taken.
  bool TimedWait(int milliseconds);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_SEMAPHORE_H_
