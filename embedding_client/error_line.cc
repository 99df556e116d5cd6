#include "embedding_client/error_line.h"

#include <iostream>
#include <string>

namespace vela::internal {

void WriteErrorLine(std::string_view first, std::string_view second) {
  std::string line;
  line.reserve(first.size() + second.size() + 1);
  line.append(first).append(second).push_back('\n');
  std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
  std::cerr.flush();
}

}  // namespace vela::internal
