// tervala-heartbeat: shows heartbeat files and payloads.

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "app/heartbeat/platform_files.h"
#include "tools/common/tool_main.h"
#include "tools/common/tool_version.h"
#include "tools/heartbeat/heartbeat_tool.h"

int main(int argc, char** argv) {
  tervala::tools::UseBinaryStandardStreams();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args = tervala::tools::ToolArguments(argc, argv);
  if (tervala::tools::IsVersionRequest(args))
    return tervala::tools::PrintVersion("tervala-heartbeat");
  // As for tervala_app: TERVALA_DATA_DIR names the folder that holds nimbus-heartbeat/ in
  // place of the user's local application-data folder.
  nimbus::SetLocalAppDataFolderFromEnvironment("TERVALA_DATA_DIR");
  const int status = tervala::heartbeat_tool::RunHeartbeatTool(args, std::cout, std::cerr);
  std::cout.flush();
  return std::cout.good() ? status : 1;
}
