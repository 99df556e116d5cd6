// The processor time a thread has used, for tests that check that an idle thread uses none.
#ifndef TERVALA_APP_TESTS_THREAD_CPU_CLOCK_H_
#define TERVALA_APP_TESTS_THREAD_CPU_CLOCK_H_

#include <memory>

namespace nimbus_testing {

// The CPU clock of the thread that made it, readable from any thread.
class ThreadCpuClock {
 public:
  // The clock of the calling thread.
  static std::unique_ptr<ThreadCpuClock> OfCurrentThread();
  virtual ~ThreadCpuClock() = default;

  // The processor time (user and kernel) the thread has used, in milliseconds.
  virtual double Milliseconds() const = 0;
};

}  // namespace nimbus_testing

#endif  // TERVALA_APP_TESTS_THREAD_CPU_CLOCK_H_
