// Events that the runner's test bundle reports from inside the engine, for the tests. In
// the test process the tests read them here; in a tervala_app that a test started, they are
// also appended to the file named by RUNNER_TEST_EVENTS_FILE, one "event <text>" line each.
#ifndef TERVALA_RUNNER_TESTS_TEST_PROBE_H_
#define TERVALA_RUNNER_TESTS_TEST_PROBE_H_

#include <chrono>
#include <string>
#include <vector>

namespace runner_test {

// Records `event` (any thread).
void RecordEvent(const std::string& event);

// The events recorded so far, in order.
std::vector<std::string> Events();

// Forgets the events recorded so far.
void ClearEvents();

// Waits until an event starting with `prefix` has been recorded, at most `timeout`; true
// when it came.
bool WaitForEvent(const std::string& prefix, std::chrono::milliseconds timeout);

// Whether the events go to a test in another process (RUNNER_TEST_EVENTS_FILE is set).
bool ReportsToAnotherProcess();

}  // namespace runner_test

#endif  // TERVALA_RUNNER_TESTS_TEST_PROBE_H_
