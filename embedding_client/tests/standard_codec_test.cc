#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "embedding_client/byte_streams.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_codec_serializer.h"
#include "embedding_client/standard_message_codec.h"
#include "embedding_client/tests/allocation_tracker.h"
#include "platform/test_support/child_process.h"
#include "platform/test_support/environment.h"

namespace vela {
namespace {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

Bytes Encode(const EncodableValue& value) {
  return *StandardMessageCodec::GetInstance().EncodeMessage(value);
}

std::unique_ptr<EncodableValue> Decode(const Bytes& bytes) {
  return StandardMessageCodec::GetInstance().DecodeMessage(bytes.data(), bytes.size());
}

Bytes WriteSize(size_t size) {
  Bytes out;
  ByteBufferStreamWriter writer(&out);
  StandardCodecSerializer::GetInstance().WriteSize(size, &writer);
  return out;
}

// Plug-in threads may encode a late reply while the process ends: the codec and its
// serializer must outlive static destruction. A child process encodes on a thread of its own
// while its main thread exits.
TEST(StandardCodecTest, EncodesWhileTheProcessExits) {
  if (tervala_testing::EnvironmentValue("CODEC_EXIT_CHILD")) {
    const StandardMessageCodec& codec = StandardMessageCodec::GetInstance();
    std::thread([&codec] {
      const EncodableValue value(EncodableList{EncodableValue("late"), EncodableValue(1)});
      const size_t size = codec.EncodeMessage(value)->size();
      for (;;) {
        if (codec.EncodeMessage(value)->size() != size) std::_Exit(3);
      }
    }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::exit(0);
  }
  for (int round = 0; round < 5; ++round) {
    const tervala_testing::ChildRun run = tervala_testing::RunTestInChild(
        "StandardCodecTest.EncodesWhileTheProcessExits", {{"CODEC_EXIT_CHILD", "1"}});
    EXPECT_TRUE(run.exit.ExitedWith(0))
        << "exit code " << run.exit.exit_code.value_or(-1) << ", signal " << run.exit.signal;
    // The sanitizers' reports, which may come too late to change the exit status.
    EXPECT_THAT(run.err, Not(HasSubstr("runtime error"))) << run.err;
  }
}

TEST(StandardCodecTest, SizeEncodingAtItsBoundaries) {
  EXPECT_THAT(WriteSize(0), ElementsAre(0));
  EXPECT_THAT(WriteSize(253), ElementsAre(253));
  EXPECT_THAT(WriteSize(254), ElementsAre(254, 254, 0));
  EXPECT_THAT(WriteSize(65535), ElementsAre(254, 255, 255));
  EXPECT_THAT(WriteSize(65536), ElementsAre(255, 0, 0, 1, 0));
  EXPECT_THAT(WriteSize(0xFFFFFFFFu), ElementsAre(255, 255, 255, 255, 255));
  for (size_t size :
       {size_t{0}, size_t{253}, size_t{254}, size_t{65535}, size_t{65536}, size_t{0x12345678}}) {
    Bytes bytes = WriteSize(size);
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadSize(&reader), size);
    EXPECT_EQ(reader.location(), bytes.size());
    EXPECT_FALSE(reader.failed());
  }
  // A string of 254 bytes carries the three-byte size.
  Bytes encoded = Encode(EncodableValue(std::string(254, 'a')));
  EXPECT_THAT(Bytes(encoded.begin(), encoded.begin() + 4), ElementsAre(7, 254, 254, 0));
  EXPECT_EQ(encoded.size(), 4u + 254u);
}

TEST(StandardCodecTest, ScalarsHaveTheirWireBytes) {
  EXPECT_THAT(Encode(EncodableValue()), ElementsAre(0));
  EXPECT_THAT(Encode(EncodableValue(true)), ElementsAre(1));
  EXPECT_THAT(Encode(EncodableValue(false)), ElementsAre(2));
  EXPECT_THAT(Encode(EncodableValue(int32_t{-2})), ElementsAre(3, 0xFE, 0xFF, 0xFF, 0xFF));
  EXPECT_THAT(Encode(EncodableValue(int64_t{0x0102030405060708})),
              ElementsAre(4, 8, 7, 6, 5, 4, 3, 2, 1));
  EXPECT_THAT(Encode(EncodableValue("hé")), ElementsAre(7, 3, 'h', 0xC3, 0xA9));
  EXPECT_THAT(Encode(EncodableValue(std::vector<uint8_t>{9, 8})), ElementsAre(8, 2, 9, 8));
}

TEST(StandardCodecTest, DoublesAndTypedListsAlignFromTheMessageStart) {
  // Tag at offset 0, padding up to offset 8, then the bits of 1.0.
  EXPECT_THAT(Encode(EncodableValue(1.0)),
              ElementsAre(6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F));
  EXPECT_THAT(Encode(EncodableValue(std::vector<int32_t>{1, -1})),
              ElementsAre(9, 2, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF));
  EXPECT_THAT(Encode(EncodableValue(std::vector<float>{1.0f})),
              ElementsAre(14, 1, 0, 0, 0, 0, 0x80, 0x3F));
  EXPECT_THAT(Encode(EncodableValue(std::vector<int64_t>{2})),
              ElementsAre(10, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0));
  // Inside a list the padding still counts from the message start: list tag, count,
  // double tag at offset 2, padding to offset 8.
  EXPECT_THAT(Encode(EncodableValue(EncodableList{EncodableValue(1.0)})),
              ElementsAre(12, 1, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F));
  // An int32 list tag at offset 3 and its count at 4: padding up to offset 8.
  EXPECT_THAT(Encode(EncodableValue(
                  EncodableList{EncodableValue(true), EncodableValue(std::vector<int32_t>{7})})),
              ElementsAre(12, 2, 1, 9, 1, 0, 0, 0, 7, 0, 0, 0));
  // Empty typed lists are padded too, so that writer and reader agree.
  EXPECT_THAT(Encode(EncodableValue(std::vector<int32_t>{})), ElementsAre(9, 0, 0, 0));
  EXPECT_THAT(Encode(EncodableValue(std::vector<double>{})), ElementsAre(11, 0, 0, 0, 0, 0, 0, 0));
  Bytes after_empty = Encode(EncodableValue(
      EncodableList{EncodableValue(std::vector<float>{}), EncodableValue(int32_t{5})}));
  EXPECT_THAT(after_empty, ElementsAre(12, 2, 14, 0, 3, 5, 0, 0, 0));
  EXPECT_EQ(*Decode(after_empty),
            EncodableValue(EncodableList{EncodableValue(std::vector<float>{}), EncodableValue(5)}));
  // A peer that leaves out the padding of an empty list at the end still decodes.
  EXPECT_EQ(*Decode({9, 0}), EncodableValue(std::vector<int32_t>{}));
}

EncodableValue EveryAlternative() {
  EncodableMap map;
  map[EncodableValue("key")] = EncodableValue(EncodableList{EncodableValue(1), EncodableValue()});
  map[EncodableValue(2.5)] = EncodableValue(std::vector<int64_t>{-1, 1});
  map[EncodableValue(EncodableList{EncodableValue(false)})] = EncodableValue(EncodableMap{});
  return EncodableValue(EncodableList{
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(false),
      EncodableValue(std::numeric_limits<int32_t>::min()),
      EncodableValue(std::numeric_limits<int64_t>::max()),
      EncodableValue(-0.0),
      EncodableValue(std::string(300, 'x')),
      EncodableValue(std::vector<uint8_t>(70000, 0xAB)),
      EncodableValue(std::vector<int32_t>{1, 2, 3}),
      EncodableValue(std::vector<int64_t>{std::numeric_limits<int64_t>::min()}),
      EncodableValue(std::vector<double>{0.1, std::numeric_limits<double>::infinity()}),
      EncodableValue(EncodableList{EncodableValue(EncodableList{EncodableValue("deep")})}),
      EncodableValue(map),
      EncodableValue(std::vector<float>{1.5f, -2.25f, 3.0f}),
  });
}

TEST(StandardCodecTest, EveryAlternativeRoundTrips) {
  const EncodableValue value = EveryAlternative();
  Bytes encoded = Encode(value);
  auto decoded = Decode(encoded);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, value);
  EXPECT_TRUE(std::signbit(decoded->Get<EncodableList>()[5].Get<double>()));
  EXPECT_EQ(Encode(*decoded), encoded);
  // Bytes after the value are ignored.
  encoded.push_back(0x42);
  ASSERT_TRUE(Decode(encoded));
  EXPECT_EQ(*Decode(encoded), value);
}

TEST(StandardCodecTest, MapsWriteKeyOrderAndKeepTheFirstOfRepeatedKeys) {
  EncodableMap map;
  map[EncodableValue("b")] = EncodableValue(1);
  map[EncodableValue(int32_t{9})] = EncodableValue(2);
  map[EncodableValue("a")] = EncodableValue(3);
  // int32 (index 2) before strings (index 5); "a" before "b".
  EXPECT_THAT(Encode(EncodableValue(map)),
              ElementsAre(13, 3, 3, 9, 0, 0, 0, 3, 2, 0, 0, 0, 7, 1, 'a', 3, 3, 0, 0, 0, 7, 1, 'b',
                          3, 1, 0, 0, 0));
  auto decoded = Decode({13, 3, 7, 1, 'k', 1, 7, 1, 'j', 0, 7, 1, 'k', 2});
  ASSERT_TRUE(decoded);
  const auto& decoded_map = decoded->Get<EncodableMap>();
  ASSERT_EQ(decoded_map.size(), 2u);
  EXPECT_EQ(decoded_map.at(EncodableValue("k")), EncodableValue(true));
  EXPECT_TRUE(decoded_map.at(EncodableValue("j")).IsNull());
}

TEST(StandardCodecTest, UnknownTagsYieldNullAndDecodingGoesOn) {
  testing::internal::CaptureStderr();
  auto alone = Decode({15});
  auto in_list = Decode({12, 3, 200, 1, 5, 2, 'h', 'i'});
  std::string diagnostics = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(alone);
  EXPECT_TRUE(alone->IsNull());
  ASSERT_TRUE(in_list);
  // Tag 5 reads as a string.
  EXPECT_EQ(*in_list, EncodableValue(EncodableList{EncodableValue(), EncodableValue(true),
                                                   EncodableValue("hi")}));
  EXPECT_THAT(diagnostics,
              HasSubstr("Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n"));
  EXPECT_THAT(diagnostics, HasSubstr("ReadValueOfType: 200\n"));
}

TEST(StandardCodecTest, CustomValuesWithoutAnExtensionBecomeNull) {
  testing::internal::CaptureStderr();
  Bytes encoded = Encode(EncodableValue(EncodableList{EncodableValue(CustomEncodableValue(3))}));
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_THAT(encoded, ElementsAre(12, 1, 0));
  EXPECT_EQ(diagnostics,
            "Unhandled custom type in StandardCodecSerializer::WriteValue. Custom types require "
            "codec extensions.\n");
}

TEST(StandardCodecTest, MessagesWithoutBytesAreNull) {
  auto from_null = StandardMessageCodec::GetInstance().DecodeMessage(nullptr, 0);
  ASSERT_TRUE(from_null);
  EXPECT_TRUE(from_null->IsNull());
  const uint8_t byte = 1;
  auto from_empty = StandardMessageCodec::GetInstance().DecodeMessage(&byte, 0);
  ASSERT_TRUE(from_empty);
  EXPECT_TRUE(from_empty->IsNull());
}

TEST(StandardCodecTest, TruncatedMessagesFailToDecode) {
  Bytes encoded = Encode(EveryAlternative());
  testing::internal::CaptureStderr();
  for (size_t length = 1; length < encoded.size(); length += length < 64 ? 1 : 97) {
    EXPECT_EQ(StandardMessageCodec::GetInstance().DecodeMessage(encoded.data(), length), nullptr)
        << length;
  }
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_THAT(diagnostics, HasSubstr("Invalid read in StandardCodecByteStreamReader\n"));
  for (const Bytes& truncated : std::vector<Bytes>{
           {3, 1, 2}, {6, 0, 0, 0, 0, 0, 0, 0, 1}, {7, 254, 1}, {9, 2, 0, 0, 1, 0, 0, 0}}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(Decode(truncated), nullptr);
    testing::internal::GetCapturedStderr();
  }
}

TEST(StandardCodecTest, OversizedCountsFailWithoutAllocating) {
  // Each claims far more content than the message holds; the decode must fail at once
  // (a bound against the remaining bytes), not reserve or loop over the claimed count.
  const std::vector<Bytes> hostile = {
      {7, 255, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},
      {8, 255, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3},
      {9, 255, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0},
      {11, 255, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0},
      {14, 255, 0, 0, 0, 0x40, 0, 0},
      {12, 255, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0},
      {13, 255, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0},
      {13, 3, 0, 0, 0, 0, 0},  // three entries need six bytes
      {9, 2, 0, 0, 1, 0, 0, 0, 2, 0, 0},
  };
  for (const Bytes& bytes : hostile) {
    testing::internal::CaptureStderr();
    testing_support::ResetLargestAllocation();
    EXPECT_EQ(Decode(bytes), nullptr) << static_cast<int>(bytes[0]);
    EXPECT_LT(testing_support::LargestAllocation(), 4096u) << static_cast<int>(bytes[0]);
    testing::internal::GetCapturedStderr();
  }
}

TEST(StandardCodecTest, NestedListsCannotMultiplyTheirClaims) {
  // Each nested list claims nearly every byte that remains as its element count.
  Bytes bytes;
  const size_t kPadding = 100000;
  for (int level = 0; level < 200; ++level) {
    const auto count = static_cast<uint32_t>(kPadding + 1000 - 6 * level);
    bytes.insert(bytes.end(),
                 {12, 255, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                  static_cast<uint8_t>(count >> 16), 0});
  }
  // The innermost element fails at once, so nothing but the lists' own reservations is
  // allocated.
  bytes.insert(bytes.end(), {7, 255, 0xFF, 0xFF, 0xFF, 0x7F});
  bytes.resize(bytes.size() + kPadding, 0);
  testing::internal::CaptureStderr();
  testing_support::ResetLargestAllocation();
  EXPECT_EQ(Decode(bytes), nullptr);
  EXPECT_LT(testing_support::LargestAllocation(), 65536u);
  testing::internal::GetCapturedStderr();
}

TEST(StandardCodecTest, NestingIsBounded) {
  auto nested = [](int depth) {
    Bytes bytes;
    for (int i = 0; i < depth; ++i) bytes.insert(bytes.end(), {12, 1});
    bytes.push_back(0);
    return bytes;
  };
  EXPECT_NE(Decode(nested(ByteStreamReader::kMaxNestingDepth)), nullptr);
  EXPECT_EQ(Decode(nested(ByteStreamReader::kMaxNestingDepth + 1)), nullptr);
  // Far deeper than the stack would allow without the bound.
  EXPECT_EQ(Decode(nested(100000)), nullptr);
}

// An extension that claims tag 200 for a custom int.
class IntExtension : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    if (const auto* custom = value.GetIf<CustomEncodableValue>()) {
      if (const int* held = custom->GetIf<int>()) {
        stream->WriteByte(200);
        stream->WriteByte(static_cast<uint8_t>(*held));
        return;
      }
    }
    StandardCodecSerializer::WriteValue(value, stream);
  }
  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    if (type == 200) return EncodableValue(CustomEncodableValue(int{stream->ReadByte()}));
    return StandardCodecSerializer::ReadValueOfType(type, stream);
  }
};

TEST(StandardCodecTest, ExtensionsSeeNestedValues) {
  static const IntExtension extension;
  const StandardMessageCodec& codec = StandardMessageCodec::GetInstance(&extension);
  EXPECT_EQ(&codec, &StandardMessageCodec::GetInstance(&extension));
  EXPECT_NE(&codec, &StandardMessageCodec::GetInstance());
  EXPECT_EQ(&StandardMessageCodec::GetInstance(),
            &StandardMessageCodec::GetInstance(&StandardCodecSerializer::GetInstance()));

  EncodableMap map;
  map[EncodableValue(CustomEncodableValue(7))] = EncodableValue(CustomEncodableValue(8));
  EncodableValue value(EncodableList{EncodableValue(CustomEncodableValue(6)), EncodableValue(map)});
  Bytes encoded = *codec.EncodeMessage(value);
  EXPECT_THAT(encoded, ElementsAre(12, 2, 200, 6, 13, 1, 200, 7, 200, 8));
  auto decoded = codec.DecodeMessage(encoded);
  ASSERT_TRUE(decoded);
  const auto& list = decoded->Get<EncodableList>();
  EXPECT_EQ(list[0].Get<CustomEncodableValue>().Get<int>(), 6);
  const auto& [key, element] = *list[1].Get<EncodableMap>().begin();
  EXPECT_EQ(key.Get<CustomEncodableValue>().Get<int>(), 7);
  EXPECT_EQ(element.Get<CustomEncodableValue>().Get<int>(), 8);
}

TEST(ByteStreamsTest, ReaderStaysPutOnInvalidReads) {
  const uint8_t bytes[] = {1, 2, 3};
  ByteBufferStreamReader reader(bytes, sizeof(bytes));
  uint8_t out[4] = {9, 9, 9, 9};
  testing::internal::CaptureStderr();
  reader.ReadBytes(out, 4);
  std::string diagnostics = testing::internal::GetCapturedStderr();
  EXPECT_EQ(diagnostics, "Invalid read in StandardCodecByteStreamReader\n");
  EXPECT_THAT(out, ElementsAre(9, 9, 9, 9));
  EXPECT_EQ(reader.location(), 0u);
  EXPECT_TRUE(reader.failed());
  reader.ReadAlignment(2);
  EXPECT_EQ(reader.location(), 0u);
  EXPECT_EQ(reader.ReadByte(), 1);
  reader.ReadAlignment(2);
  EXPECT_EQ(reader.location(), 2u);
  reader.ReadAlignment(8);
  EXPECT_EQ(reader.location(), 3u);
  EXPECT_EQ(reader.RemainingBytes(), 0u);
}

}  // namespace
}  // namespace vela
