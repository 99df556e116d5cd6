#include "tools/tests/tool_run.h"

namespace tervala::tools_testing {

std::string WithUnixLineEnds(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

ToolRun RunBuiltTool(const std::string& program, const std::vector<std::string>& arguments,
                     const tervala_testing::ChildOptions& options) {
  const tervala_testing::ChildRun child = tervala_testing::RunChild(program, arguments, options);
  ToolRun run;
  if (child.exit.finished && child.exit.signal == 0 && child.exit.exit_code) {
    run.exit_code = *child.exit.exit_code;
  }
  run.out = child.out;
  run.err = WithUnixLineEnds(child.err);
  return run;
}

}  // namespace tervala::tools_testing
