// tervala-heartbeat: shows heartbeat files and payloads.

#include <iostream>
#include <string>
#include <vector>

#include "tools/heartbeat/heartbeat_tool.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = tervala::heartbeat_tool::RunHeartbeatTool(args, std::cout, std::cerr);
  std::cout.flush();
  return std::cout.good() ? status : 1;
}
