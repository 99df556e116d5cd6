#include "runner/tests/test_probe.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace runner_test {
namespace {

struct Probe {
  std::mutex mutex;
  std::condition_variable recorded;
  std::vector<std::string> events;
};

// A static object, not a leaked one: inside tervala_app this library leaves with the bundle
// that loaded it.
Probe& TheProbe() {
  static Probe probe;
  return probe;
}

// The descriptor that events go to, or -1.
int EventsFd() {
  static const int fd = [] {
    const char* text = std::getenv("RUNNER_TEST_EVENTS_FD");
    return text != nullptr && text[0] != '\0' ? std::atoi(text) : -1;
  }();
  return fd;
}

bool HasPrefix(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

void RecordEvent(const std::string& event) {
  Probe& probe = TheProbe();
  std::lock_guard<std::mutex> lock(probe.mutex);
  probe.events.push_back(event);
  if (EventsFd() >= 0) {
    const std::string line = "event " + event + "\n";
    size_t written = 0;
    while (written < line.size()) {
      const ssize_t result = write(EventsFd(), line.data() + written, line.size() - written);
      if (result <= 0) break;
      written += static_cast<size_t>(result);
    }
  }
  probe.recorded.notify_all();
}

std::vector<std::string> Events() {
  Probe& probe = TheProbe();
  std::lock_guard<std::mutex> lock(probe.mutex);
  return probe.events;
}

void ClearEvents() {
  Probe& probe = TheProbe();
  std::lock_guard<std::mutex> lock(probe.mutex);
  probe.events.clear();
}

bool WaitForEvent(const std::string& prefix, std::chrono::milliseconds timeout) {
  Probe& probe = TheProbe();
  std::unique_lock<std::mutex> lock(probe.mutex);
  return probe.recorded.wait_for(lock, timeout, [&] {
    return std::any_of(probe.events.begin(), probe.events.end(),
                       [&](const std::string& event) { return HasPrefix(event, prefix); });
  });
}

bool ReportsToAnotherProcess() { return EventsFd() >= 0; }

}  // namespace runner_test
