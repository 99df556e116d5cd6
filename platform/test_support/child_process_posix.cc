#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "platform/test_support/child_process.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"

extern char** environ;

namespace tervala_testing {

class ChildProcess::Impl {
 public:
  ScratchFolder files{"tervala-child"};
  pid_t pid = -1;
  std::string start_error;
  ChildExit exit;  // once the child has been reaped

  // Reaps the child when it has ended (`block`: waits until it has). True once reaped.
  bool Reap(bool block) {
    if (pid <= 0) return true;
    int status = 0;
    pid_t got;
    do {
      got = waitpid(pid, &status, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == 0) return false;
    pid = -1;
    exit.finished = true;
    if (got > 0 && WIFEXITED(status)) exit.exit_code = WEXITSTATUS(status);
    if (got > 0 && WIFSIGNALED(status)) exit.signal = WTERMSIG(status);
    return true;
  }
};

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildOptions& options)
    : impl_(std::make_unique<Impl>()) {
  const std::string input_path = impl_->files.Join("stdin");
  const std::string output_path = impl_->files.Join("stdout");
  const std::string error_path = impl_->files.Join("stderr");
  WriteWholeFile(input_path, options.standard_input);

  // Everything the child needs is made before fork: after it only exec-safe calls are made.
  std::vector<std::string> argument_strings = {program};
  argument_strings.insert(argument_strings.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment_strings;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    bool replaced = false;
    for (const auto& [name, value] : options.environment) {
      replaced = replaced || text.compare(0, name.size() + 1, name + "=") == 0;
    }
    if (!replaced) environment_strings.push_back(text);
  }
  for (const auto& [name, value] : options.environment) {
    if (!value.empty()) environment_strings.push_back(name + "=" + value);
  }
  std::vector<char*> argv, envp;
  for (std::string& text : argument_strings) argv.push_back(text.data());
  argv.push_back(nullptr);
  for (std::string& text : environment_strings) envp.push_back(text.data());
  envp.push_back(nullptr);

  // The child reports a failed exec through this pipe, closed by a successful one.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    impl_->start_error = std::strerror(errno);
    return;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    const int input = open(input_path.c_str(), O_RDONLY);
    const int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int failure = 0;
    if (input < 0 || output < 0 || error < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 ||
        dup2(error, 2) < 0) {
      failure = errno;
    } else if (!options.working_directory.empty() &&
               chdir(options.working_directory.c_str()) != 0) {
      failure = errno;
    } else {
      execvpe(argv[0], argv.data(), envp.data());
      failure = errno;
    }
    [[maybe_unused]] ssize_t written = write(report[1], &failure, sizeof(failure));
    _exit(127);
  }
  close(report[1]);
  if (pid < 0) {
    impl_->start_error = std::strerror(errno);
    close(report[0]);
    return;
  }
  impl_->pid = pid;
  int failure = 0;
  ssize_t got;
  do {
    got = read(report[0], &failure, sizeof(failure));
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got == sizeof(failure)) {
    impl_->start_error = "cannot start " + program + ": " + std::strerror(failure);
    impl_->Reap(true);
    impl_->exit = ChildExit();
  }
}

ChildProcess::~ChildProcess() {
  if (impl_->pid > 0) Kill();
}

bool ChildProcess::started() const { return impl_->start_error.empty(); }

const std::string& ChildProcess::start_error() const { return impl_->start_error; }

ChildExit ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!impl_->Reap(false)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      Kill();
      ChildExit overstayed = impl_->exit;
      overstayed.finished = false;
      return overstayed;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return impl_->exit;
}

void ChildProcess::Kill() {
  if (impl_->pid <= 0) return;
  kill(impl_->pid, SIGKILL);
  impl_->Reap(true);
}

bool ChildProcess::Running() { return started() && !impl_->Reap(false); }

long ChildProcess::ProcessId() const { return impl_->pid; }

std::string ChildProcess::StandardOutput() const {
  return ReadWholeFile(impl_->files.Join("stdout")).value_or("");
}

std::string ChildProcess::StandardError() const {
  return ReadWholeFile(impl_->files.Join("stderr")).value_or("");
}

}  // namespace tervala_testing
