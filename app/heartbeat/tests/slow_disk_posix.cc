// A slow disk for tests: this program's own fsync, which the heartbeat file code calls in
// place of the C library's, waits first when asked to.

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/heartbeat/tests/slow_disk.h"

namespace {
std::atomic<int> g_flush_delay_ms{0};
}  // namespace

extern "C" int fsync(int fd) {
  const int delay = g_flush_delay_ms.load();
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace nimbus {
namespace heartbeat {
namespace testing {

void SetDiskFlushDelay(int milliseconds) { g_flush_delay_ms.store(milliseconds); }

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus
