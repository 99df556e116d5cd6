#include "bundle/tests/app_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace bundle_test {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
  std::string pattern = ::testing::TempDir() + "bundle_test_XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

AppProcess::AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
                       const std::string& working_directory,
                       const std::vector<std::string>& environment) {
  // Everything the child needs is prepared before fork: it only changes directory, redirects
  // and executes.
  std::vector<std::string> argument_texts = {executable};
  argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argument_texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment_texts;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& added : environment) replaced |= added.rfind(name, 0) == 0;
    if (!replaced) environment_texts.push_back(text);
  }
  environment_texts.insert(environment_texts.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& text : environment_texts) envp.push_back(text.data());
  envp.push_back(nullptr);

  const std::string out_path = output_.path() + "/stdout";
  const std::string err_path = output_.path() + "/stderr";
  const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || err < 0 || null_in < 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    if (chdir(working_directory.c_str()) != 0 || dup2(null_in, 0) < 0 || dup2(out, 1) < 0 ||
        dup2(err, 2) < 0) {
      _exit(126);
    }
    execve(executable.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(out);
  close(err);
  close(null_in);
}

AppProcess::~AppProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

int AppProcess::WaitForExit(int timeout_ms) {
  if (pid_ <= 0) return -1;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (Clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string AppProcess::StandardOutput() const { return ReadFile(output_.path() + "/stdout"); }

std::string AppProcess::StandardError() const { return ReadFile(output_.path() + "/stderr"); }

void BridgeTest::SetUp() {
  std::filesystem::copy_file(SAMPLE_CONFIG, work_.path() + "/nimbus-services.json");
  socket_ = work_.path() + "/bridge.sock";
  std::vector<std::string> environment = {"XDG_DATA_HOME=" + data_.path(),
                                          "TERVALA_LINK_OPENER_DRY_RUN=1"};
  environment.insert(environment.end(), extra_environment_.begin(), extra_environment_.end());
  app_ = std::make_unique<AppProcess>(TERVALA_BRIDGE_APP,
                                      std::vector<std::string>{"--bridge-socket=" + socket_},
                                      work_.path(), environment);
  ASSERT_TRUE(app_->started());
  ASSERT_TRUE(client_.Connect(socket_));
}

bool BridgeClient::Connect(const std::string& socket_path, int timeout_ms) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socket_path.data(), socket_path.size());
  Disconnect();
  reader_ = tervala_bundle::FrameReader();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return true;
    }
    close(fd_);
    fd_ = -1;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

BridgeClient::~BridgeClient() { Disconnect(); }

void BridgeClient::Disconnect() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool BridgeClient::Send(const tervala_bundle::BridgeFrame& frame) {
  return SendRaw(tervala_bundle::EncodeFrame(frame));
}

bool BridgeClient::SendRaw(const std::vector<uint8_t>& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = send(fd_, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

std::optional<tervala_bundle::BridgeFrame> BridgeClient::Receive(int timeout_ms) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    tervala_bundle::BridgeFrame frame;
    if (reader_.Next(&frame, nullptr) == tervala_bundle::FrameReader::Status::kFrame) {
      return frame;
    }
    pollfd fds{fd_, POLLIN, 0};
    if (poll(&fds, 1, RemainingMs(deadline)) <= 0) return std::nullopt;
    uint8_t buffer[4096];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    reader_.Append(buffer, static_cast<size_t>(n));
  }
}

int BridgeClient::ReadRaw(size_t max, int timeout_ms) {
  pollfd fds{fd_, POLLIN, 0};
  if (poll(&fds, 1, timeout_ms) <= 0) return -1;
  std::vector<uint8_t> buffer(max);
  const ssize_t n = recv(fd_, buffer.data(), max, 0);
  return n < 0 ? 0 : static_cast<int>(n);
}

bool BridgeClient::WaitForEnd(int timeout_ms) {
  pollfd fds{fd_, POLLIN, 0};
  if (poll(&fds, 1, timeout_ms) <= 0) return false;
  uint8_t byte;
  return recv(fd_, &byte, 1, 0) == 0;
}

}  // namespace bundle_test
