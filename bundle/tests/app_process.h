// What the end-to-end tests share: temporary folders, a tervala_app process started with
// arguments, environment and working directory of the test's choice, and a client of the
// bridge's socket.
#ifndef TERVALA_BUNDLE_TESTS_APP_PROCESS_H_
#define TERVALA_BUNDLE_TESTS_APP_PROCESS_H_

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bundle/bridge/bridge_frame.h"
#include "platform/test_support/child_process.h"
#include "platform/test_support/scratch_folder.h"

namespace bundle_test {

// A temporary folder, removed with everything in it on destruction.
class TemporaryFolder {
 public:
  const std::string& path() const { return folder_.utf8(); }

 private:
  tervala_testing::ScratchFolder folder_{"bundle_test"};
};

// A running program; standard output and error go to files. Killed if still running on
// destruction.
class AppProcess {
 public:
  // Starts `executable` with `arguments` in `working_directory`, with `environment`
  // ("NAME=value") added to this process's environment.
  AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
             const std::string& working_directory, const std::vector<std::string>& environment);

  bool started() const { return child_.started(); }
  long pid() const { return child_.ProcessId(); }

  // Waits at most `timeout_ms` for the process to end, then kills it; its exit code, or -1
  // when it did not exit by itself.
  int WaitForExit(int timeout_ms = 30'000);

  std::string StandardOutput() const;
  std::string StandardError() const;

 private:
  tervala_testing::ChildProcess child_;
};

// A client of the bridge's socket.
class BridgeClient {
 public:
  // Connects, retrying for at most `timeout_ms` while the bridge starts. A connection held
  // before is closed first.
  bool Connect(const std::string& socket_path, int timeout_ms = 20'000);
  ~BridgeClient();

  // Closes the connection.
  void Disconnect();

  bool Send(const tervala_bundle::BridgeFrame& frame);
  bool SendRaw(const std::vector<uint8_t>& bytes);
  // The next frame, waiting at most `timeout_ms`; empty on timeout or at the end of the
  // connection.
  std::optional<tervala_bundle::BridgeFrame> Receive(int timeout_ms = 20'000);
  // Whether the bridge ends the connection within `timeout_ms` without sending a frame.
  bool WaitForEnd(int timeout_ms = 20'000);
  // Reads at most `max` bytes as they come, bypassing the frame reader: the count, 0 at the
  // end of the connection, -1 when nothing came within `timeout_ms`.
  int ReadRaw(size_t max, int timeout_ms);

 private:
  int fd_ = -1;
  tervala_bundle::FrameReader reader_;
};

// Tests of the bridge: tervala_app with the bridge bundle, started in a working folder of its
// own that holds a copy of the sample config file, with a data folder of its own and the link
// opener in dry-run mode; client_ is connected to its socket.
class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Added to the application's environment ("NAME=value"); set before SetUp.
  std::vector<std::string> extra_environment_;
  TemporaryFolder work_;
  TemporaryFolder data_;
  std::string socket_;
  std::unique_ptr<AppProcess> app_;
  BridgeClient client_;
};

// The contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace bundle_test

#endif  // TERVALA_BUNDLE_TESTS_APP_PROCESS_H_
