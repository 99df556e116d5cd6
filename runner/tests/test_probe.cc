#include "runner/tests/test_probe.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
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

// The file that events go to, or null. Opened once, closed when this library leaves.
std::FILE* EventsFile() {
  struct Sink {
    std::FILE* file = nullptr;
    ~Sink() {
      if (file != nullptr) std::fclose(file);
    }
  };
  static const Sink sink = [] {
    const char* path = std::getenv("RUNNER_TEST_EVENTS_FILE");
    return Sink{path != nullptr && path[0] != '\0' ? std::fopen(path, "ab") : nullptr};
  }();
  return sink.file;
}

bool HasPrefix(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

void RecordEvent(const std::string& event) {
  Probe& probe = TheProbe();
  std::lock_guard<std::mutex> lock(probe.mutex);
  probe.events.push_back(event);
  if (std::FILE* file = EventsFile()) {
    const std::string line = "event " + event + "\n";
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
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

bool ReportsToAnotherProcess() { return EventsFile() != nullptr; }

}  // namespace runner_test
