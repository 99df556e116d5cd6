#include "app/heartbeat/gzip_header_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace nimbus {
namespace heartbeat {
namespace {

// A header with every optional part: extra field (3 bytes), name, comment, header CRC.
std::vector<uint8_t> FullHeader(uint8_t extra_flag_bits = 0) {
  std::vector<uint8_t> header = {
      0x1F, 0x8B, 0x08, static_cast<uint8_t>(2 | 4 | 8 | 16 | extra_flag_bits), 1, 2, 3, 4, 0, 3};
  header.insert(header.end(), {3, 0, 'x', 'y', 'z'});
  header.insert(header.end(), {'n', 'a', 'm', 'e', 0});
  header.insert(header.end(), {'c', 0});
  header.insert(header.end(), {0xAB, 0xCD});
  return header;
}

TEST(GzipHeaderParserTest, ReadsEveryOptionalPartInOneGoOrByteByByte) {
  std::vector<uint8_t> input = FullHeader(1 | 32 | 64 | 128);  // FTEXT and reserved ignored
  const size_t header_size = input.size();
  input.push_back(0x99);  // first deflate byte

  GzipHeaderParser parser;
  const uint8_t* header_end = nullptr;
  ASSERT_EQ(parser.ReadMore(input.data(), input.data() + input.size(), &header_end),
            GzipHeaderParser::kComplete);
  EXPECT_EQ(header_end, input.data() + header_size);

  parser.Reset();
  for (size_t i = 0; i < header_size - 1; ++i) {
    ASSERT_EQ(parser.ReadMore(&input[i], &input[i] + 1, &header_end), GzipHeaderParser::kIncomplete)
        << "byte " << i;
  }
  ASSERT_EQ(parser.ReadMore(&input[header_size - 1], input.data() + input.size(), &header_end),
            GzipHeaderParser::kComplete);
  EXPECT_EQ(header_end, input.data() + header_size);
}

TEST(GzipHeaderParserTest, FixedHeaderIsCompleteAtTheEndOfInput) {
  const uint8_t fixed[] = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 2, 0xFF};
  GzipHeaderParser parser;
  const uint8_t* header_end = nullptr;
  EXPECT_EQ(parser.ReadMore(fixed, fixed + 9, &header_end), GzipHeaderParser::kIncomplete);
  parser.Reset();
  EXPECT_EQ(parser.ReadMore(fixed, fixed + 10, &header_end), GzipHeaderParser::kComplete);
  EXPECT_EQ(header_end, fixed + 10);

  // An empty extra field ends the header when nothing else is announced.
  const uint8_t empty_extra[] = {0x1F, 0x8B, 0x08, 4, 0, 0, 0, 0, 0, 3, 0, 0};
  parser.Reset();
  EXPECT_EQ(parser.ReadMore(empty_extra, empty_extra + sizeof(empty_extra), &header_end),
            GzipHeaderParser::kComplete);
  EXPECT_EQ(header_end, empty_extra + sizeof(empty_extra));

  // An announced name that has not ended yet keeps the header incomplete.
  const uint8_t named[] = {0x1F, 0x8B, 0x08, 8, 0, 0, 0, 0, 0, 3, 'a', 'b'};
  parser.Reset();
  EXPECT_EQ(parser.ReadMore(named, named + sizeof(named), &header_end),
            GzipHeaderParser::kIncomplete);
}

TEST(GzipHeaderParserTest, RefusesWrongMagicOrMethod) {
  const std::vector<std::vector<uint8_t>> bad = {
      {0x1F, 0x8C}, {0x1E}, {0x1F, 0x8B, 0x07}, {'{', '"', 'a'}};
  for (const auto& input : bad) {
    GzipHeaderParser parser;
    EXPECT_EQ(parser.ReadMore(input.data(), input.data() + input.size(), nullptr),
              GzipHeaderParser::kInvalid);
  }
  GzipHeaderParser parser;
  EXPECT_EQ(parser.ReadMore(nullptr, nullptr, nullptr), GzipHeaderParser::kIncomplete);
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
