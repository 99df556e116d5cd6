// Child processes for tests: a program started with arguments, environment and working
// folder of the test's choice, its output captured, waited for with a time limit and
// killed when it overstays (fork/exec on POSIX, CreateProcessW/TerminateProcess on Windows).
#ifndef TERVALA_PLATFORM_TEST_SUPPORT_CHILD_PROCESS_H_
#define TERVALA_PLATFORM_TEST_SUPPORT_CHILD_PROCESS_H_

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tervala_testing {

struct ChildOptions {
  // Variables added to (or, with an empty value, removed from) the inherited environment.
  std::vector<std::pair<std::string, std::string>> environment;
  // The child's working folder; empty for the parent's.
  std::string working_directory;
  // What the child reads on its standard input.
  std::string standard_input;
};

// How a child ended.
struct ChildExit {
  // False when the child was still running at the time limit (it has then been killed).
  bool finished = false;
  // The exit code; on Windows also the code a crash or TerminateProcess gave.
  std::optional<int> exit_code;
  // POSIX: the signal that ended the child, 0 when it exited.
  int signal = 0;

  bool ExitedWith(int code) const { return finished && exit_code == code; }
};

// A running child process. Killed, if still running, on destruction.
class ChildProcess {
 public:
  // Starts `program` (a path, UTF-8) with `arguments` (UTF-8, passed unchanged). Standard
  // output and error go to files of the child's own, read with StandardOutput/Error.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const ChildOptions& options = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // False when the program could not be started; `start_error()` says why.
  bool started() const;
  const std::string& start_error() const;

  // Waits for the child to end, at most `timeout`; kills it at the limit.
  ChildExit Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // Ends the child at once, as a crash or a power cut would (no clean-up runs in it).
  void Kill();
  // True while the child runs.
  bool Running();
  // The child's process id; -1 when it did not start (POSIX: or has been waited for).
  long ProcessId() const;

  std::string StandardOutput() const;
  std::string StandardError() const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Runs a child to its end (at most `timeout`) and returns how it ended with its output.
struct ChildRun {
  ChildExit exit;
  std::string out;
  std::string err;
};
ChildRun RunChild(const std::string& program, const std::vector<std::string>& arguments,
                  const ChildOptions& options = {},
                  std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Runs the one test `test_name` ("Suite.Name") of this test program in a child process
// with `environment` added. A test uses it to do part of its work in a process of its own:
// the child's run is told apart by a variable the test sets and reads with
// EnvironmentValue.
ChildRun RunTestInChild(const std::string& test_name,
                        const std::vector<std::pair<std::string, std::string>>& environment,
                        std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace tervala_testing

#endif  // TERVALA_PLATFORM_TEST_SUPPORT_CHILD_PROCESS_H_
