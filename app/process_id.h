#ifndef TERVALA_APP_PROCESS_ID_H_
#define TERVALA_APP_PROCESS_ID_H_

#include <cstdint>

namespace nimbus {

// The system's id of the calling process. A child forked from a process has an id of its
// own, so code inherited through a fork can tell that it runs in the child.
uint64_t CurrentProcessId();

}  // namespace nimbus

#endif  // TERVALA_APP_PROCESS_ID_H_
