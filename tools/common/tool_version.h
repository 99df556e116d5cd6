// The tools' --version: the project's version, the same for every program of the project.
#ifndef TERVALA_TOOLS_COMMON_TOOL_VERSION_H_
#define TERVALA_TOOLS_COMMON_TOOL_VERSION_H_

#include <string>
#include <vector>

namespace tervala::tools {

// True when the arguments are --version alone.
bool IsVersionRequest(const std::vector<std::string>& args);

// Prints "PROGRAM VERSION" on standard output; the tool's exit code: 0, or 1 when the line
// could not be written.
int PrintVersion(const char* program);

}  // namespace tervala::tools

#endif  // TERVALA_TOOLS_COMMON_TOOL_VERSION_H_
