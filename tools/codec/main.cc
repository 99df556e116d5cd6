// tervala-codec: decodes and encodes channel messages as typed JSON.

#include <iostream>
#include <string>
#include <vector>

#include "tools/codec/codec_tool.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  const int status = tervala::codec_tool::RunCodecTool(args, std::cin, std::cout, std::cerr);
  std::cout.flush();
  return std::cout.good() ? status : 1;
}
