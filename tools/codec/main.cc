// tervala-codec: decodes and encodes channel messages as typed JSON.

#include <iostream>
#include <string>
#include <vector>

#include "tools/codec/codec_tool.h"
#include "tools/common/tool_main.h"
#include "tools/common/tool_version.h"

int main(int argc, char** argv) {
  tervala::tools::UseBinaryStandardStreams();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args = tervala::tools::ToolArguments(argc, argv);
  if (tervala::tools::IsVersionRequest(args)) return tervala::tools::PrintVersion("tervala-codec");
  const int status = tervala::codec_tool::RunCodecTool(args, std::cin, std::cout, std::cerr);
  std::cout.flush();
  return std::cout.good() ? status : 1;
}
