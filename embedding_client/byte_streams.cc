#include "embedding_client/byte_streams.h"

#include <cstring>
#include <iostream>

namespace vela {
namespace {

void ReportInvalidRead() { std::cerr << "Invalid read in StandardCodecByteStreamReader\n"; }

}  // namespace

bool ByteStreamReader::EnterNested() {
  if (depth_ >= kMaxNestingDepth) {
    if (!failed_) std::cerr << "Nesting too deep in StandardCodecByteStreamReader\n";
    failed_ = true;
    return false;
  }
  ++depth_;
  return true;
}

uint8_t ByteBufferStreamReader::ReadByte() {
  if (location_ >= size_) {
    ReportInvalidRead();
    SetFailed();
    return 0;
  }
  return bytes_[location_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  if (length > size_ - location_) {
    ReportInvalidRead();
    SetFailed();
    return;
  }
  if (length != 0) std::memcpy(buffer, bytes_ + location_, length);
  location_ += length;
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  const size_t remainder = location_ % alignment;
  if (remainder == 0) return;
  const size_t padding = alignment - remainder;
  // Padding past the end leaves nothing to read; the next read reports it.
  location_ = padding > size_ - location_ ? size_ : location_ + padding;
}

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, size_t length) {
  if (length != 0) buffer_->insert(buffer_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  const size_t remainder = buffer_->size() % alignment;
  if (remainder != 0) buffer_->resize(buffer_->size() + alignment - remainder, 0);
}

}  // namespace vela
