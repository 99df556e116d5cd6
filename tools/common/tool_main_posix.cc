#include "tools/common/tool_main.h"

namespace tervala::tools {

// POSIX arguments are bytes already, taken as UTF-8 by the tools.
std::vector<std::string> ToolArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

// POSIX streams make no difference between text and binary.
void UseBinaryStandardStreams() {}

}  // namespace tervala::tools
