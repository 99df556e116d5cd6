// What a tool run gave, and running a built tool through the shell, for the tools' tests.
#ifndef TERVALA_TOOLS_TESTS_TOOL_RUN_H_
#define TERVALA_TOOLS_TESTS_TOOL_RUN_H_

#include <string>

namespace tervala::tools_testing {

struct ToolRun {
  int exit_code = -1;  // -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

// Runs `command` with the shell; `out` is its standard output (`err` is left empty).
ToolRun RunShellCommand(const std::string& command);

}  // namespace tervala::tools_testing

#endif  // TERVALA_TOOLS_TESTS_TOOL_RUN_H_
