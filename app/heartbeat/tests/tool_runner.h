#ifndef TERVALA_APP_HEARTBEAT_TESTS_TOOL_RUNNER_H_
#define TERVALA_APP_HEARTBEAT_TESTS_TOOL_RUNNER_H_

// Runs the system's own tools (gzip, base64) on bytes, so tests can check that our output
// is what they accept and that we accept what they write.

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

namespace nimbus {
namespace heartbeat {
namespace test_tools {

inline bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " > /dev/null 2>&1").c_str()) == 0;
}

// Runs `command` with `input` on its standard input; returns its standard output, or
// nothing when it exits with a non-zero status.
inline std::optional<std::string> RunTool(const std::string& command, const std::string& input) {
  char path[] = "/tmp/tervala_tool_inputXXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return std::nullopt;
  FILE* file = fdopen(fd, "wb");
  std::fwrite(input.data(), 1, input.size(), file);
  std::fclose(file);
  FILE* pipe = popen((command + " < " + path + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) {
    unlink(path);
    return std::nullopt;
  }
  std::string output;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0) output.append(chunk, got);
  const int status = pclose(pipe);
  unlink(path);
  if (status != 0) return std::nullopt;
  return output;
}

}  // namespace test_tools
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_TOOL_RUNNER_H_
