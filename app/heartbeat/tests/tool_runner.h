#ifndef TERVALA_APP_HEARTBEAT_TESTS_TOOL_RUNNER_H_
#define TERVALA_APP_HEARTBEAT_TESTS_TOOL_RUNNER_H_

// Runs the system's own tools (gzip, base64) on bytes, so tests can check that our output
// is what they accept and that we accept what they write. Where a tool is missing (Windows
// has neither), the checks that need it are left out.

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/test_support/child_process.h"

namespace nimbus {
namespace heartbeat {
namespace test_tools {

// `command` split at its spaces: the program and its arguments.
inline std::vector<std::string> SplitCommand(const std::string& command) {
  std::vector<std::string> words;
  std::istringstream stream(command);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

// Runs `command` (a program found on the PATH and its arguments, separated by spaces) with
// `input` on its standard input; returns its standard output, or nothing when it cannot be
// started or exits with a non-zero status.
inline std::optional<std::string> RunTool(const std::string& command, const std::string& input) {
  std::vector<std::string> arguments = SplitCommand(command);
  const std::string program = arguments.front();
  arguments.erase(arguments.begin());
  tervala_testing::ChildOptions options;
  options.standard_input = input;
  const tervala_testing::ChildRun run = tervala_testing::RunChild(program, arguments, options);
  if (!run.exit.ExitedWith(0)) return std::nullopt;
  return run.out;
}

inline bool HaveTool(const std::string& name) {
  return RunTool(name + " --version", "").has_value();
}

}  // namespace test_tools
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_TOOL_RUNNER_H_
