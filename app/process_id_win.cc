#include <windows.h>

#include "app/process_id.h"

namespace nimbus {

uint64_t CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace nimbus
