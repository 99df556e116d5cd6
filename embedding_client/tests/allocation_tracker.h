#ifndef TERVALA_EMBEDDING_CLIENT_TESTS_ALLOCATION_TRACKER_H_
#define TERVALA_EMBEDDING_CLIENT_TESTS_ALLOCATION_TRACKER_H_

// Records the largest single operator new request of the test program, so that tests can
// show that hostile sizes never turn into large allocations.

#include <cstddef>

namespace vela::testing_support {

void ResetLargestAllocation();
size_t LargestAllocation();

}  // namespace vela::testing_support

#endif  // TERVALA_EMBEDDING_CLIENT_TESTS_ALLOCATION_TRACKER_H_
