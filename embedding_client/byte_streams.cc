#include "embedding_client/byte_streams.h"

#include <iostream>

namespace vela {

bool ByteStreamReader::EnterNested() {
  if (depth_ >= kMaxNestingDepth) {
    if (!failed_) std::cerr << "Nesting too deep in StandardCodecByteStreamReader\n";
    failed_ = true;
    return false;
  }
  ++depth_;
  return true;
}

void ByteBufferStreamReader::InvalidRead() {
  std::cerr << "Invalid read in StandardCodecByteStreamReader\n";
  SetFailed();
}

}  // namespace vela
