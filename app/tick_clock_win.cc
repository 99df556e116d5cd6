#include <windows.h>

#include "app/tick_clock.h"

namespace nimbus {

// Milliseconds since the system started; 64 bits, so it does not wrap after 49 days.
uint64_t TickCountMilliseconds() { return GetTickCount64(); }

}  // namespace nimbus
