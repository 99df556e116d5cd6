// What the tests of tervala_app on a real X display (Xvfb) share: finding the program's window,
// reading its pixels, saving them as a PNG and waiting for the program to end.
#ifndef TERVALA_PLATFORM_WIN32_TESTS_PRESENT_SUPPORT_H_
#define TERVALA_PLATFORM_WIN32_TESTS_PRESENT_SUPPORT_H_

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace present_test {

using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(30);

// An RGB image of a window.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

// Writes `shot` as an 8-bit RGB PNG.
bool WritePng(const Screenshot& shot, const std::string& path);

// The window's pixels, as far as it lies on the screen.
std::optional<Screenshot> Capture(Display* display, ::Window window);

// A frame with content: more than one colour.
bool ShowsContent(const Screenshot& shot);

// Waits until the connection has news or `deadline` passes (at most 100 ms: what the caller
// cannot be told about, the pixels of a window, is worth another look).
void WaitForEvents(Display* display, Clock::time_point deadline);

// The viewable top-level window titled `title`, once it exists; 0 after the deadline.
::Window WaitForWindow(Display* display, const std::string& title, Clock::time_point deadline);

// Waits for the child to end; its exit status, or none on timeout.
std::optional<int> WaitForExit(pid_t pid, Clock::time_point deadline);

// Kills and reaps the child on destruction unless it has ended; set pid to 0 once reaped.
struct Reaper {
  pid_t pid;
  ~Reaper();
};

}  // namespace present_test

#endif  // TERVALA_PLATFORM_WIN32_TESTS_PRESENT_SUPPORT_H_
