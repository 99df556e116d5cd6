// The serializer reads and writes in-memory streams directly and every other stream
// through its virtual operations. Both ways must produce the same bytes, the same values
// and the same failures.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "embedding_client/byte_streams.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_codec_serializer.h"

namespace vela {
namespace {

using Bytes = std::vector<uint8_t>;

// A writer that is not the in-memory one, with the same behaviour.
class ForwardingWriter final : public ByteStreamWriter {
 public:
  explicit ForwardingWriter(Bytes* out) : out_(out) {}
  void WriteByte(uint8_t byte) override { out_->push_back(byte); }
  void WriteBytes(const uint8_t* bytes, size_t length) override {
    out_->insert(out_->end(), bytes, bytes + length);
  }
  void WriteAlignment(uint8_t alignment) override {
    while (out_->size() % alignment != 0) out_->push_back(0);
  }

 private:
  Bytes* out_;
};

// A reader that is not the in-memory one, with the same behaviour.
class ForwardingReader final : public ByteStreamReader {
 public:
  explicit ForwardingReader(const Bytes& bytes) : bytes_(bytes) {}
  uint8_t ReadByte() override {
    if (location_ >= bytes_.size()) {
      SetFailed();
      return 0;
    }
    return bytes_[location_++];
  }
  void ReadBytes(uint8_t* buffer, size_t length) override {
    if (length > RemainingBytes()) {
      SetFailed();
      return;
    }
    if (length != 0) std::memcpy(buffer, bytes_.data() + location_, length);
    location_ += length;
  }
  void ReadAlignment(uint8_t alignment) override {
    while (location_ % alignment != 0 && location_ < bytes_.size()) ++location_;
  }
  size_t RemainingBytes() const override { return bytes_.size() - location_; }

 private:
  const Bytes& bytes_;
  size_t location_ = 0;
};

// Every alternative, sizes on both sides of the one- and three-byte forms, doubles and
// typed lists at every alignment, empty typed lists, and nesting.
EncodableValue EveryShape() {
  EncodableList list;
  for (int offset = 0; offset < 8; ++offset) {
    list.push_back(std::string(static_cast<size_t>(offset), 'x'));
    list.push_back(1.5 * offset);
    list.push_back(std::vector<int32_t>{offset, -offset});
    list.push_back(std::vector<float>{0.5f * static_cast<float>(offset)});
    list.push_back(std::vector<int64_t>{std::numeric_limits<int64_t>::min(), offset});
    list.push_back(std::vector<double>{-0.25 * offset});
  }
  list.push_back(std::vector<int32_t>{});
  list.push_back(std::vector<double>{});
  list.push_back(std::string(253, 'a'));
  list.push_back(std::string(254, 'b'));
  list.push_back(std::vector<uint8_t>(70000, 7));
  list.push_back(std::vector<int64_t>(300, -3));
  EncodableMap map{{EncodableValue(), EncodableValue(true)},
                   {EncodableValue(false), EncodableValue(int32_t{-2})},
                   {EncodableValue(int64_t{1} << 40), EncodableValue("text")},
                   {EncodableValue("key"), EncodableValue(EncodableList{EncodableValue(1.0)})}};
  list.push_back(std::move(map));
  return list;
}

Bytes EncodeInMemory(const EncodableValue& value) {
  Bytes out;
  ByteBufferStreamWriter writer(&out);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return out;
}

Bytes EncodeForwarding(const EncodableValue& value) {
  Bytes out;
  ForwardingWriter writer(&out);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return out;
}

TEST(StreamPathsTest, BothWritersProduceTheSameBytes) {
  const EncodableValue value = EveryShape();
  EXPECT_EQ(EncodeInMemory(value), EncodeForwarding(value));
  // Also from an odd position in the output, where the padding differs.
  Bytes in_memory{0xAA};
  ByteBufferStreamWriter writer(&in_memory);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  Bytes forwarding{0xAA};
  ForwardingWriter forwarding_writer(&forwarding);
  StandardCodecSerializer::GetInstance().WriteValue(value, &forwarding_writer);
  EXPECT_EQ(in_memory, forwarding);
}

TEST(StreamPathsTest, BothReadersReadTheSameValuesAtAnyAddress) {
  const EncodableValue value = EveryShape();
  const Bytes bytes = EncodeInMemory(value);
  ForwardingReader forwarding(bytes);
  EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadValue(&forwarding), value);
  EXPECT_FALSE(forwarding.failed());
  // The same message at every offset from an 8-byte boundary in memory: typed lists are
  // then misaligned in memory though aligned within the message.
  for (size_t shift = 0; shift < 8; ++shift) {
    std::vector<uint64_t> storage(bytes.size() / 8 + 2);
    auto* start = reinterpret_cast<uint8_t*>(storage.data()) + shift;
    std::memcpy(start, bytes.data(), bytes.size());
    ByteBufferStreamReader reader(start, bytes.size());
    EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadValue(&reader), value) << shift;
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(reader.location(), bytes.size());
  }
}

TEST(StreamPathsTest, BothReadersFailOnEveryTruncation) {
  const Bytes bytes = EncodeInMemory(EveryShape());
  testing::internal::CaptureStderr();
  // Every cut through the first part of the message (its strings, doubles and typed
  // lists), and a few through the large values near the end.
  std::vector<size_t> cuts;
  for (size_t cut = 0; cut < 600; ++cut) cuts.push_back(cut);
  for (size_t cut = bytes.size() - 200; cut < bytes.size(); ++cut) cuts.push_back(cut);
  for (size_t cut : cuts) {
    const Bytes truncated(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    ByteBufferStreamReader in_memory(truncated.data(), truncated.size());
    StandardCodecSerializer::GetInstance().ReadValue(&in_memory);
    ForwardingReader forwarding(truncated);
    StandardCodecSerializer::GetInstance().ReadValue(&forwarding);
    EXPECT_TRUE(in_memory.failed()) << cut;
    EXPECT_TRUE(forwarding.failed()) << cut;
  }
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace vela
