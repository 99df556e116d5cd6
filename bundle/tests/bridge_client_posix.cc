// The bridge's side of the end-to-end tests (POSIX only: the bridge listens on a
// Unix-domain socket).
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "bundle/tests/app_process.h"

namespace bundle_test {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

void BridgeTest::SetUp() {
  std::filesystem::copy_file(SAMPLE_CONFIG, work_.path() + "/nimbus-services.json");
  socket_ = work_.path() + "/bridge.sock";
  std::vector<std::string> environment = {"TERVALA_DATA_DIR=" + data_.path(),
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
