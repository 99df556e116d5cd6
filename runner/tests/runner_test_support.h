// What the runner's tests share: bundle folders, a message pump with a time limit, and
// tervala_app processes started with a bundle of the tests' choice.
#ifndef TERVALA_RUNNER_TESTS_RUNNER_TEST_SUPPORT_H_
#define TERVALA_RUNNER_TESTS_RUNNER_TEST_SUPPORT_H_

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/tests/message_pump.h"

namespace runner_test {

// What a bundle folder holds as its application library.
enum class AppLibrary {
  kTestBundle,  // the tests' bundle
  kMissing,     // nothing
  kBroken,      // a file that is not a library
};

// A temporary bundle folder: vela_assets/, icudtl.dat and app.so. Removed on destruction.
class BundleFolder {
 public:
  explicit BundleFolder(AppLibrary library);
  ~BundleFolder();
  BundleFolder(const BundleFolder&) = delete;
  BundleFolder& operator=(const BundleFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The wide form of an ASCII path.
std::wstring Wide(const std::string& text);

// Handles the window messages of this thread that are already queued.
void PumpPending();

// Handling window messages until a condition holds or WM_QUIT comes.
using win32_testing::PumpUntil;
using win32_testing::PumpUntilQuit;

// A copy of tervala_app in a temporary folder of its own, with a bundle folder data/ beside
// it. Removed on destruction.
class AppFolder {
 public:
  explicit AppFolder(AppLibrary library);
  ~AppFolder();
  AppFolder(const AppFolder&) = delete;
  AppFolder& operator=(const AppFolder&) = delete;

  std::string executable() const { return path_ + "/tervala_app"; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A running tervala_app. The test bundle's events and the lines of standard output arrive
// through a pipe; standard error goes to a file. A process still running on destruction is
// killed.
class AppProcess {
 public:
  // Starts `executable` with `arguments` and `environment` ("NAME=value" entries) added to
  // this process's environment.
  AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment = {});
  ~AppProcess();
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The first event starting with `prefix`, waiting for it at most 20 seconds; empty when
  // it did not come.
  std::optional<std::string> WaitForEvent(const std::string& prefix);

  // Every event so far, in order.
  const std::vector<std::string>& events() const { return events_; }

  // The first line of standard output starting with `prefix`, waiting for it at most 20
  // seconds; empty when it did not come.
  std::optional<std::string> WaitForOutput(const std::string& prefix);

  // Sends `signal_number` to the process.
  void Signal(int signal_number);

  // Waits at most 30 seconds for the process to end (then kills it) and returns its exit
  // code, or -1 when it did not exit by itself. Collects the rest of its events.
  int WaitForExit();

  // What the process wrote to standard error so far.
  std::string StandardError() const;

 private:
  // Reads what the pipe holds, waiting at most `timeout_ms`; false at its end.
  bool ReadLines(int timeout_ms);
  // The first line of `lines` starting with `prefix`, reading on for at most 20 seconds.
  std::optional<std::string> WaitForLine(const std::vector<std::string>& lines,
                                         const std::string& prefix);

  pid_t pid_ = -1;
  int events_fd_ = -1;
  std::string output_folder_;
  std::string pending_;
  std::vector<std::string> events_;
  std::vector<std::string> output_;
};

}  // namespace runner_test

#endif  // TERVALA_RUNNER_TESTS_RUNNER_TEST_SUPPORT_H_
