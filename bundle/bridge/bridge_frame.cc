#include "bundle/bridge/bridge_frame.h"

#include <limits>

namespace tervala_bundle {
namespace {

void PutLittleEndian(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t GetLittleEndian(const uint8_t* in, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(in[i]) << (8 * i);
  return value;
}

}  // namespace

std::vector<uint8_t> EncodeFrame(const BridgeFrame& frame) {
  if (frame.channel.size() > std::numeric_limits<uint16_t>::max()) return {};
  const uint64_t length = 1 + 4 + 2 + frame.channel.size() + frame.message.size();
  if (length > std::numeric_limits<uint32_t>::max()) return {};
  std::vector<uint8_t> out;
  out.reserve(4 + length);
  PutLittleEndian(out, length, 4);
  out.push_back(frame.kind);
  PutLittleEndian(out, frame.id, 4);
  PutLittleEndian(out, frame.channel.size(), 2);
  out.insert(out.end(), frame.channel.begin(), frame.channel.end());
  out.insert(out.end(), frame.message.begin(), frame.message.end());
  return out;
}

void FrameReader::Append(const uint8_t* data, size_t size) {
  if (malformed_ || size == 0) return;
  // Drop what has been read before growing, so the buffer holds one frame or so.
  if (start_ > 0) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

FrameReader::Status FrameReader::Next(BridgeFrame* frame, std::string* error) {
  auto fail = [&](std::string why) {
    malformed_ = true;
    error_ = std::move(why);
    if (error != nullptr) *error = error_;
    return Status::kMalformed;
  };
  if (malformed_) {
    if (error != nullptr) *error = error_;
    return Status::kMalformed;
  }
  const size_t available = buffer_.size() - start_;
  if (available < 4) return Status::kNeedMore;
  const uint8_t* in = buffer_.data() + start_;
  const uint32_t length = GetLittleEndian(in, 4);
  if (length < kFrameHeaderSize - 4) {
    return fail("a frame of " + std::to_string(length) + " bytes is shorter than its header");
  }
  if (length > kMaxFrameLength) {
    return fail("a frame of " + std::to_string(length) + " bytes is larger than the limit of " +
                std::to_string(kMaxFrameLength));
  }
  if (available - 4 < length) return Status::kNeedMore;
  const uint32_t channel_length = GetLittleEndian(in + 9, 2);
  if (channel_length > length - (kFrameHeaderSize - 4)) {
    return fail("a channel name of " + std::to_string(channel_length) +
                " bytes does not fit in its frame of " + std::to_string(length) + " bytes");
  }
  frame->kind = in[4];
  frame->id = GetLittleEndian(in + 5, 4);
  const uint8_t* channel = in + kFrameHeaderSize;
  frame->channel.assign(reinterpret_cast<const char*>(channel), channel_length);
  frame->message.assign(channel + channel_length, in + 4 + length);
  start_ += 4 + static_cast<size_t>(length);
  return Status::kFrame;
}

}  // namespace tervala_bundle
