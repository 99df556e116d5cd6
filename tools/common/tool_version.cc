#include "tools/common/tool_version.h"

#include <cstdio>

#include "tervala_version.h"

namespace tervala::tools {

bool IsVersionRequest(const std::vector<std::string>& args) {
  return args.size() == 1 && args[0] == "--version";
}

int PrintVersion(const char* program) {
  std::printf("%s %s\n", program, TERVALA_VERSION_TEXT);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace tervala::tools
