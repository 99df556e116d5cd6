// The thread's times as Windows counts them (GetThreadTimes). The C library's thread CPU
// clock is no use here: MinGW's pthread_getcpuclockid clock gives wall time.
#include <windows.h>

#include "app/tests/thread_cpu_clock.h"

namespace nimbus_testing {
namespace {

double Milliseconds100ns(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<double>(value.QuadPart) / 10000.0;
}

class WindowsThreadCpuClock : public ThreadCpuClock {
 public:
  explicit WindowsThreadCpuClock(HANDLE thread) : thread_(thread) {}
  ~WindowsThreadCpuClock() override {
    if (thread_ != nullptr) CloseHandle(thread_);
  }
  double Milliseconds() const override {
    FILETIME creation, exit, kernel, user;
    if (thread_ == nullptr || !GetThreadTimes(thread_, &creation, &exit, &kernel, &user)) {
      return -1.0;
    }
    return Milliseconds100ns(kernel) + Milliseconds100ns(user);
  }

 private:
  HANDLE thread_;
};

}  // namespace

std::unique_ptr<ThreadCpuClock> ThreadCpuClock::OfCurrentThread() {
  return std::make_unique<WindowsThreadCpuClock>(
      OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentThreadId()));
}

}  // namespace nimbus_testing
