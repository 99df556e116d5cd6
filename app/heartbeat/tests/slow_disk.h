#ifndef TERVALA_APP_HEARTBEAT_TESTS_SLOW_DISK_H_
#define TERVALA_APP_HEARTBEAT_TESTS_SLOW_DISK_H_

// Test helper: makes the disk slow for the heartbeat file code of this test program.

namespace nimbus {
namespace heartbeat {
namespace testing {

// From now on every flush of a file to disk takes `milliseconds` longer; 0 ends that, and
// lets flushes that are waiting go on at once.
void SetDiskFlushDelay(int milliseconds);

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_SLOW_DISK_H_
