// What a tool run gave, and running a built tool as a child process, for the tools' tests.
#ifndef TERVALA_TOOLS_TESTS_TOOL_RUN_H_
#define TERVALA_TOOLS_TESTS_TOOL_RUN_H_

#include <string>
#include <vector>

#include "platform/test_support/child_process.h"

namespace tervala::tools_testing {

struct ToolRun {
  int exit_code = -1;  // -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

// `text` with each "\r\n" made "\n": what a tool writes to a text stream on Windows, as
// on Linux.
std::string WithUnixLineEnds(const std::string& text);

// Runs the built tool `program` with `arguments` (passed as they are, no shell between).
// `out` holds the bytes of its standard output; `err` its standard error with Unix line
// ends.
ToolRun RunBuiltTool(const std::string& program, const std::vector<std::string>& arguments,
                     const tervala_testing::ChildOptions& options = {});

}  // namespace tervala::tools_testing

#endif  // TERVALA_TOOLS_TESTS_TOOL_RUN_H_
