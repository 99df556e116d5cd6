#include "runner/tests/runner_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace runner_test {
namespace {

namespace fs = std::filesystem;

constexpr int kEventLimitMs = 20'000;
constexpr int kExitLimitMs = 30'000;
// Where the child finds the event pipe (standard output goes there too).
constexpr int kChildEventsFd = 3;

std::string MakeTemporaryFolder() {
  std::string pattern = ::testing::TempDir() + "runner_test_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return std::string();
  return pattern;
}

// Lays out a bundle folder: vela_assets/, icudtl.dat and the application library.
void MakeBundle(const std::string& folder, AppLibrary library) {
  fs::create_directories(folder + "/vela_assets");
  std::ofstream(folder + "/icudtl.dat").flush();
  switch (library) {
    case AppLibrary::kTestBundle:
      fs::copy_file(RUNNER_TEST_BUNDLE, folder + "/app.so");
      break;
    case AppLibrary::kMissing:
      break;
    case AppLibrary::kBroken:
      std::ofstream(folder + "/app.so") << "\x7f"
                                           "ELF, but only in name";
      break;
  }
}

void RemoveFolder(const std::string& folder) {
  std::error_code ignored;
  if (!folder.empty()) fs::remove_all(folder, ignored);
}

int ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - since)
                              .count());
}

}  // namespace

BundleFolder::BundleFolder(AppLibrary library) : path_(MakeTemporaryFolder()) {
  MakeBundle(path_, library);
}

BundleFolder::~BundleFolder() { RemoveFolder(path_); }

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void PumpPending() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

AppFolder::AppFolder(AppLibrary library) : path_(MakeTemporaryFolder()) {
  fs::copy_file(TERVALA_APP, executable());
  fs::permissions(executable(), fs::perms::owner_all);
  MakeBundle(path_ + "/data", library);
}

AppFolder::~AppFolder() { RemoveFolder(path_); }

AppProcess::AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment)
    : output_folder_(MakeTemporaryFolder()) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return;
  // Far from the descriptor the child expects, so that the dup2 below always happens (and
  // clears close-on-exec).
  const int write_fd = fcntl(pipe_fds[1], F_DUPFD_CLOEXEC, 10);
  close(pipe_fds[1]);
  events_fd_ = pipe_fds[0];

  std::vector<std::string> environment_entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (text.rfind("RUNNER_TEST_EVENTS_FD=", 0) == 0 || text.rfind("TERVALA_MONITORS=", 0) == 0 ||
        text.rfind("TERVALA_REGISTRY=", 0) == 0) {
      continue;
    }
    environment_entries.push_back(text);
  }
  // The default monitor, and no user settings.
  environment_entries.push_back("TERVALA_REGISTRY=/nonexistent/registry.reg");
  environment_entries.push_back("RUNNER_TEST_EVENTS_FD=" + std::to_string(kChildEventsFd));
  environment_entries.insert(environment_entries.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& entry : environment_entries) envp.push_back(entry.data());
  envp.push_back(nullptr);

  std::string program = executable;
  std::vector<std::string> argument_copies = arguments;
  std::vector<char*> argv = {program.data()};
  for (std::string& argument : argument_copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, write_fd, kChildEventsFd);
  posix_spawn_file_actions_adddup2(&actions, write_fd, STDOUT_FILENO);
  const std::string stderr_path = output_folder_ + "/stderr";
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderr_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // The close signals keep their default meaning and reach the child unblocked, whatever
  // this process does with them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal_number);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data()) == 0) {
    pid_ = pid;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(write_fd);
}

AppProcess::~AppProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (events_fd_ >= 0) close(events_fd_);
  RemoveFolder(output_folder_);
}

bool AppProcess::ReadLines(int timeout_ms) {
  if (events_fd_ < 0) return false;
  pollfd poll_fd{events_fd_, POLLIN, 0};
  const int ready = poll(&poll_fd, 1, timeout_ms);
  if (ready < 0) return errno == EINTR;
  if (ready == 0) return true;
  char buffer[4096];
  const ssize_t count = read(events_fd_, buffer, sizeof(buffer));
  if (count <= 0) return false;
  pending_.append(buffer, static_cast<size_t>(count));
  size_t line_end;
  while ((line_end = pending_.find('\n')) != std::string::npos) {
    const std::string line = pending_.substr(0, line_end);
    pending_.erase(0, line_end + 1);
    if (line.rfind("event ", 0) == 0) {
      events_.push_back(line.substr(6));
    } else {
      output_.push_back(line);
    }
  }
  return true;
}

std::optional<std::string> AppProcess::WaitForLine(const std::vector<std::string>& lines,
                                                   const std::string& prefix) {
  const auto start = std::chrono::steady_clock::now();
  size_t checked = 0;
  for (;;) {
    for (; checked < lines.size(); ++checked) {
      if (lines[checked].rfind(prefix, 0) == 0) return lines[checked];
    }
    const int remaining = kEventLimitMs - ElapsedMs(start);
    if (remaining <= 0 || !ReadLines(remaining)) break;
  }
  for (; checked < lines.size(); ++checked) {
    if (lines[checked].rfind(prefix, 0) == 0) return lines[checked];
  }
  return std::nullopt;
}

std::optional<std::string> AppProcess::WaitForEvent(const std::string& prefix) {
  return WaitForLine(events_, prefix);
}

std::optional<std::string> AppProcess::WaitForOutput(const std::string& prefix) {
  return WaitForLine(output_, prefix);
}

void AppProcess::Signal(int signal_number) {
  if (pid_ > 0) kill(pid_, signal_number);
}

int AppProcess::WaitForExit() {
  if (pid_ <= 0) return -1;
  // The pipe ends with the process.
  const auto start = std::chrono::steady_clock::now();
  bool open = true;
  while (open) {
    const int remaining = kExitLimitMs - ElapsedMs(start);
    if (remaining <= 0) break;
    open = ReadLines(remaining);
  }
  if (open) kill(pid_, SIGKILL);
  int status = 0;
  const pid_t waited = waitpid(pid_, &status, 0);
  pid_ = -1;
  if (open || waited <= 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string AppProcess::StandardError() const {
  std::ifstream file(output_folder_ + "/stderr");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace runner_test
