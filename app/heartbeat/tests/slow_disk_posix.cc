// A slow disk for tests: this program's own fsync, which the heartbeat file code calls in
// place of the C library's, waits first when asked to.

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "app/heartbeat/tests/slow_disk.h"

namespace {
// Never destroyed: workers a test left in a flush may still wait on them at exit.
std::mutex& DelayMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}
std::condition_variable& DelayChanged() {
  static auto* changed = new std::condition_variable();
  return *changed;
}
int g_flush_delay_ms = 0;  // Guarded by DelayMutex().
}  // namespace

extern "C" int fsync(int fd) {
  {
    std::unique_lock<std::mutex> lock(DelayMutex());
    if (g_flush_delay_ms > 0) {
      // Ended early when the delay is lifted, so a test can free a disk it stalled.
      const auto until =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(g_flush_delay_ms);
      DelayChanged().wait_until(lock, until, [] { return g_flush_delay_ms == 0; });
    }
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace nimbus {
namespace heartbeat {
namespace testing {

void SetDiskFlushDelay(int milliseconds) {
  {
    std::lock_guard<std::mutex> lock(DelayMutex());
    g_flush_delay_ms = milliseconds;
  }
  DelayChanged().notify_all();
}

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus
