// The thread's CPU-time clock of POSIX threads.
#include <pthread.h>
#include <time.h>

#include "app/tests/thread_cpu_clock.h"

namespace nimbus_testing {
namespace {

class PosixThreadCpuClock : public ThreadCpuClock {
 public:
  explicit PosixThreadCpuClock(clockid_t clock) : clock_(clock) {}
  double Milliseconds() const override {
    timespec value{};
    clock_gettime(clock_, &value);
    return value.tv_sec * 1000.0 + value.tv_nsec / 1e6;
  }

 private:
  clockid_t clock_;
};

}  // namespace

std::unique_ptr<ThreadCpuClock> ThreadCpuClock::OfCurrentThread() {
  clockid_t clock{};
  pthread_getcpuclockid(pthread_self(), &clock);
  return std::make_unique<PosixThreadCpuClock>(clock);
}

}  // namespace nimbus_testing
