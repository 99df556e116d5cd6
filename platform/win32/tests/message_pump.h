#ifndef TERVALA_PLATFORM_WIN32_TESTS_MESSAGE_PUMP_H_
#define TERVALA_PLATFORM_WIN32_TESTS_MESSAGE_PUMP_H_

// Test helpers that run the calling thread's window messages until a condition holds, a
// quit message comes or time runs out. They sleep in GetMessageW between messages; a
// watchdog thread wakes them when the time is up, so nothing polls.

#include <chrono>
#include <functional>

namespace win32_testing {

// Handles this thread's messages until `done` holds (checked before each message) or
// `timeout` passes; whether `done` held. A WM_QUIT ends it at once.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Handles this thread's messages until WM_QUIT or `timeout`; true when the quit message
// came, with its exit code in `quit_code`.
bool PumpUntilQuit(int* quit_code, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Handles this thread's messages for `duration`.
void PumpFor(std::chrono::milliseconds duration);

}  // namespace win32_testing

#endif  // TERVALA_PLATFORM_WIN32_TESTS_MESSAGE_PUMP_H_
