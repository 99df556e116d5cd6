// tervala-heartbeat: shows heartbeat files and payloads.

#include <iostream>
#include <string>
#include <vector>

#include "tools/common/tool_main.h"
#include "tools/common/tool_version.h"
#include "tools/heartbeat/heartbeat_tool.h"

int main(int argc, char** argv) {
  tervala::tools::UseBinaryStandardStreams();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args = tervala::tools::ToolArguments(argc, argv);
  if (tervala::tools::IsVersionRequest(args))
    return tervala::tools::PrintVersion("tervala-heartbeat");
  const int status = tervala::heartbeat_tool::RunHeartbeatTool(args, std::cout, std::cerr);
  std::cout.flush();
  return std::cout.good() ? status : 1;
}
