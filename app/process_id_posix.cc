#include <unistd.h>

#include "app/process_id.h"

namespace nimbus {

uint64_t CurrentProcessId() { return static_cast<uint64_t>(getpid()); }

}  // namespace nimbus
