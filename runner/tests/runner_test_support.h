// What the runner's tests share: bundle folders, a message pump with a time limit, and
// tervala_app processes started with a bundle of the tests' choice.
#ifndef TERVALA_RUNNER_TESTS_RUNNER_TEST_SUPPORT_H_
#define TERVALA_RUNNER_TESTS_RUNNER_TEST_SUPPORT_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/test_support/child_process.h"
#include "platform/test_support/scratch_folder.h"
#include "platform/win32/tests/message_pump.h"

namespace runner_test {

// What a bundle folder holds as its application library.
enum class AppLibrary {
  kTestBundle,  // the tests' bundle
  kMissing,     // nothing
  kBroken,      // a file that is not a library
};

// The path of `name`, a file the build puts beside the test program (the test bundle, the
// further plug-in, tervala_app).
std::string BuiltFile(const std::string& name);

// A temporary bundle folder: vela_assets/, icudtl.dat and app.so. Removed on destruction.
class BundleFolder {
 public:
  explicit BundleFolder(AppLibrary library);

  const std::string& path() const { return folder_.utf8(); }

 private:
  tervala_testing::ScratchFolder folder_{"runner_test"};
};

// The wide form of a path given in UTF-8.
std::wstring Wide(const std::string& text);

// Handles the window messages of this thread that are already queued.
void PumpPending();

// Handling window messages until a condition holds or WM_QUIT comes.
using win32_testing::PumpUntil;
using win32_testing::PumpUntilQuit;

// A copy of tervala_app (with the libraries it needs) in a temporary folder of its own,
// with a bundle folder data/ beside it. Removed on destruction.
class AppFolder {
 public:
  explicit AppFolder(AppLibrary library);

  std::string executable() const;
  const std::string& path() const { return folder_.utf8(); }

 private:
  tervala_testing::ScratchFolder folder_{"runner_app"};
};

// A running tervala_app with the default monitor, no user settings and an application-data
// folder of its own. The test bundle's events arrive through a file; standard output and
// error are the child's own files. A process still running on destruction is killed.
class AppProcess {
 public:
  // Starts `executable` with `arguments` and `environment` added to this process's
  // environment.
  AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
             const std::vector<std::pair<std::string, std::string>>& environment = {});

  bool started() const { return child_->started(); }
  long process_id() const { return child_->ProcessId(); }

  // The first event starting with `prefix`, waiting for it at most 20 seconds; empty when
  // it did not come.
  std::optional<std::string> WaitForEvent(const std::string& prefix);

  // Every event so far, in order.
  const std::vector<std::string>& events() const { return events_; }

  // The first line of standard output starting with `prefix`, waiting for it at most 20
  // seconds; empty when it did not come.
  std::optional<std::string> WaitForOutput(const std::string& prefix);

  // Asks the program to close, as the user does (POSIX: SIGTERM; Windows: WM_CLOSE to its
  // top-level window).
  void RequestClose();

  // Waits at most 30 seconds for the process to end (then kills it) and returns its exit
  // code, or -1 when it did not exit by itself. Collects the rest of its events.
  int WaitForExit();

  // What the process wrote to standard error so far, with LF line ends (a Windows program
  // writes CR LF).
  std::string StandardError() const;

 private:
  // Reads the events and the output written so far.
  void ReadLines();
  // The first line of `lines` starting with `prefix`, reading on for at most 20 seconds.
  std::optional<std::string> WaitForLine(const std::vector<std::string>& lines,
                                         const std::string& prefix);

  tervala_testing::ScratchFolder folder_{"runner_process"};
  std::unique_ptr<tervala_testing::ChildProcess> child_;
  std::vector<std::string> events_;
  std::vector<std::string> output_;
};

// Per platform: puts a runnable copy of the built tervala_app into `folder` and returns its
// path; asks the process `process_id` to close.
std::string PlaceProgram(const std::string& folder);
void RequestClose(long process_id);

}  // namespace runner_test

#endif  // TERVALA_RUNNER_TESTS_RUNNER_TEST_SUPPORT_H_
