#ifndef TERVALA_APP_TICK_CLOCK_H_
#define TERVALA_APP_TICK_CLOCK_H_

#include <cstdint>

namespace nimbus {

// Milliseconds on the system's monotonic clock: never goes back and ignores changes of the
// wall clock, so it measures delays. Its starting point is arbitrary.
uint64_t TickCountMilliseconds();

}  // namespace nimbus

#endif  // TERVALA_APP_TICK_CLOCK_H_
