#include "app/heartbeat/zlib.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/heartbeat/tests/tool_runner.h"
#include "app/log.h"
#include "app/tests/captured_log.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"

namespace nimbus {
namespace heartbeat {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string ToString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Compresses with the buffer size the heartbeat payload uses.
Bytes CompressAll(ZLib& zlib, const Bytes& input, int* result = nullptr) {
  const uint32_t n = static_cast<uint32_t>(input.size());
  Bytes out(n + n / 1000 + 40);
  uint32_t size = static_cast<uint32_t>(out.size());
  const int err = zlib.Compress(out.data(), &size, input.data(), n);
  if (result != nullptr) *result = err;
  out.resize(err == Z_OK ? size : 0);
  return out;
}

int UncompressAll(ZLib& zlib, const Bytes& input, Bytes* output, uint32_t capacity) {
  output->assign(capacity, 0);
  uint32_t size = capacity;
  const int err =
      zlib.Uncompress(output->data(), &size, input.data(), static_cast<uint32_t>(input.size()));
  output->resize(size);
  return err;
}

Bytes SomeText(size_t size) {
  std::string text;
  std::mt19937 random(7);
  static const char* const kWords[] = {"heartbeat ", "agent ", "2025-01-01 ", "nimbus ", "x"};
  while (text.size() < size) text += kWords[random() % 5];
  text.resize(size);
  return ToBytes(text);
}

TEST(ZLibTest, GzipMemberOfAbcIsExact) {
  ZLib zlib;
  zlib.UseGzipFraming();
  const Bytes member = CompressAll(zlib, ToBytes("abc"));
  const Bytes expected = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFF,  // header
                          0x4B, 0x4C, 0x4A, 0x06, 0x00,                                // deflate
                          0xC2, 0x41, 0x24, 0x35, 0x03, 0x00, 0x00, 0x00};             // trailer
  EXPECT_EQ(member, expected);
  if (test_tools::HaveTool("gzip")) {
    EXPECT_EQ(test_tools::RunTool("gzip -dc", ToString(member)), "abc");
  }
  Bytes back;
  EXPECT_EQ(UncompressAll(zlib, member, &back, 100), Z_OK);
  EXPECT_EQ(ToString(back), "abc");
}

TEST(ZLibTest, SystemGzipReadsOursAndWeReadItsFiles) {
  if (!test_tools::HaveTool("gzip")) GTEST_SKIP() << "no gzip";
  ZLib zlib;
  zlib.UseGzipFraming();
  for (size_t size : {0u, 1u, 1000u, 300000u}) {
    const Bytes text = SomeText(size);
    const Bytes ours = CompressAll(zlib, text);
    ASSERT_FALSE(ours.empty());
    EXPECT_EQ(test_tools::RunTool("gzip -dc", ToString(ours)), ToString(text)) << size;

    for (const char* command : {"gzip -c -n", "gzip -c -9", "gzip -c -1"}) {
      const auto theirs = test_tools::RunTool(command, ToString(text));
      ASSERT_TRUE(theirs.has_value());
      Bytes back;
      EXPECT_EQ(UncompressAll(zlib, ToBytes(*theirs), &back, static_cast<uint32_t>(size) + 1), Z_OK)
          << command << " " << size;
      EXPECT_EQ(back, text);
    }
  }
  // A file compressed under its name carries the name in its header.
  const tervala_testing::ScratchFolder folder("tervala-named");
  const std::string path = folder.Join("named");
  ASSERT_TRUE(tervala_testing::WriteWholeFile(path, "named file\n"));
  const auto named = test_tools::RunTool("gzip -c " + path, "");
  ASSERT_TRUE(named.has_value());
  Bytes back;
  EXPECT_EQ(UncompressAll(zlib, ToBytes(*named), &back, 100), Z_OK);
  EXPECT_EQ(ToString(back), "named file\n");
}

TEST(ZLibTest, OptionalHeaderPartsAreSkipped) {
  ZLib zlib;
  zlib.UseGzipFraming();
  const Bytes plain = CompressAll(zlib, ToBytes("payload"));
  Bytes member = {0x1F, 0x8B, 0x08, 2 | 4 | 8 | 16, 0,   0, 0, 0, 0, 3, 2, 0, 'e', 'x', 'n',
                  0,    'c',  0,    0x12,           0x34};
  member.insert(member.end(), plain.begin() + 10, plain.end());
  Bytes back;
  EXPECT_EQ(UncompressAll(zlib, member, &back, 100), Z_OK);
  EXPECT_EQ(ToString(back), "payload");
}

TEST(ZLibTest, CompressNeedsRoomBeyondTheData) {
  ZLib zlib;
  zlib.UseGzipFraming();
  const Bytes input = ToBytes("abc");
  for (uint32_t capacity : {0u, 10u, 11u, 22u}) {
    Bytes out(capacity + 1);
    uint32_t size = capacity;
    EXPECT_EQ(zlib.Compress(out.data(), &size, input.data(), 3), Z_BUF_ERROR) << capacity;
  }
  // 23 bytes is exactly the member: enough.
  Bytes out(23);
  uint32_t size = 23;
  EXPECT_EQ(zlib.Compress(out.data(), &size, input.data(), 3), Z_OK);
  EXPECT_EQ(size, 23u);
}

TEST(ZLibTest, DamagedMembersAreRefused) {
  ZLib zlib;
  zlib.UseGzipFraming();
  const Bytes member = CompressAll(zlib, SomeText(5000));
  Bytes back;
  ASSERT_EQ(UncompressAll(zlib, member, &back, 6000), Z_OK);

  Bytes extra = member;
  extra.push_back(0);
  EXPECT_EQ(UncompressAll(zlib, extra, &back, 6000), Z_DATA_ERROR);
  extra.insert(extra.end(), 20, 0x55);
  EXPECT_EQ(UncompressAll(zlib, extra, &back, 6000), Z_DATA_ERROR);

  Bytes bad_crc = member;
  bad_crc[member.size() - 8] ^= 1;
  EXPECT_EQ(UncompressAll(zlib, bad_crc, &back, 6000), Z_DATA_ERROR);

  Bytes bad_length = member;
  bad_length[member.size() - 4] ^= 1;
  EXPECT_EQ(UncompressAll(zlib, bad_length, &back, 6000), Z_DATA_ERROR);

  for (size_t cut : {1u, 4u, 7u, 8u, 20u}) {
    const Bytes truncated(member.begin(), member.end() - cut);
    EXPECT_NE(UncompressAll(zlib, truncated, &back, 6000), Z_OK) << cut;
  }
  for (size_t keep : {0u, 5u, 10u}) {
    EXPECT_NE(UncompressAll(zlib, Bytes(member.begin(), member.begin() + keep), &back, 6000), Z_OK)
        << keep;
  }
  EXPECT_EQ(UncompressAll(zlib, ToBytes("{\"not\":\"gzip\"}"), &back, 100), Z_DATA_ERROR);

  // Output that does not fit.
  EXPECT_EQ(UncompressAll(zlib, member, &back, 4999), Z_BUF_ERROR);
  // The object is still good after all that.
  EXPECT_EQ(UncompressAll(zlib, member, &back, 5000), Z_OK);
  EXPECT_EQ(back, SomeText(5000));
}

TEST(ZLibTest, ReportedStreamEndStillChecksTheTrailer) {
  ZLib zlib;
  zlib.UseGzipFraming();
  zlib.ReportStreamEnd();
  Bytes member = CompressAll(zlib, ToBytes("abc"));
  Bytes back;
  EXPECT_EQ(UncompressAll(zlib, member, &back, 10), Z_STREAM_END);
  member[member.size() - 8] ^= 0x80;
  EXPECT_EQ(UncompressAll(zlib, member, &back, 10), Z_DATA_ERROR);
}

TEST(ZLibTest, RandomDamageNeverCrashesOrPassesUnnoticed) {
  ZLib zlib;
  zlib.UseGzipFraming();
  const Bytes text = SomeText(3000);
  const Bytes member = CompressAll(zlib, text);
  std::mt19937 random(99);
  for (int round = 0; round < 2000; ++round) {
    Bytes damaged = member;
    const int changes = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < changes; ++i) damaged[random() % damaged.size()] ^= 1 + random() % 255;
    Bytes back;
    const int err = UncompressAll(zlib, damaged, &back, 4000);
    // A change that survives the CRC check can only be one in the header's ignored fields.
    if (err == Z_OK) {
      EXPECT_EQ(back, text);
    }
  }
}

TEST(ZLibTest, GunzipToNewBufferIsBounded) {
  ZLib zlib;
  zlib.UseGzipFraming();
  const Bytes text = SomeText(4000);
  const Bytes member = CompressAll(zlib, text);
  const uint32_t member_size = static_cast<uint32_t>(member.size());
  EXPECT_EQ(ZLib::ReadGzipStoredLength(member.data(), member_size), 4000u);
  EXPECT_EQ(ZLib::ReadGzipStoredLength(member.data(), 4), 0u);
  EXPECT_TRUE(ZLib::StartsWithGzipHeader(member.data(), member_size));
  EXPECT_FALSE(ZLib::StartsWithGzipHeader(member.data() + 1, member_size - 1));

  std::unique_ptr<uint8_t[]> out;
  uint32_t size = 4000;
  ASSERT_EQ(zlib.GunzipToNewBuffer(&out, &size, member.data(), member_size), Z_OK);
  EXPECT_EQ(Bytes(out.get(), out.get() + size), text);

  size = 3999;
  EXPECT_EQ(zlib.GunzipToNewBuffer(&out, &size, member.data(), member_size), Z_MEM_ERROR);
  EXPECT_EQ(out, nullptr);
  Bytes not_gzip = member;
  not_gzip[0] = 0;
  size = 3999;
  EXPECT_EQ(zlib.GunzipToNewBuffer(&out, &size, not_gzip.data(), member_size), Z_DATA_ERROR);

  // A trailer that understates the size: the data does not fit the buffer it gets.
  Bytes understated = member;
  understated[member_size - 4] = 100;
  understated[member_size - 3] = 0;
  size = 1 << 20;
  EXPECT_NE(zlib.GunzipToNewBuffer(&out, &size, understated.data(), member_size), Z_OK);
  EXPECT_EQ(out, nullptr);
  // One that overstates it fails the length check.
  Bytes overstated = member;
  overstated[member_size - 3] = 0x20;
  size = 1 << 20;
  EXPECT_EQ(zlib.GunzipToNewBuffer(&out, &size, overstated.data(), member_size), Z_DATA_ERROR);

  // An empty member gives an empty buffer.
  const Bytes empty = CompressAll(zlib, Bytes());
  size = 100;
  ASSERT_EQ(zlib.GunzipToNewBuffer(&out, &size, empty.data(), static_cast<uint32_t>(empty.size())),
            Z_OK);
  EXPECT_EQ(size, 0u);

  ZLib plain;
  size = 1 << 20;
  EXPECT_EQ(plain.GunzipToNewBuffer(&out, &size, member.data(), member_size), Z_VERSION_ERROR);
}

TEST(ZLibTest, GzipBombIsStoppedByTheBuffer) {
  ZLib zlib;
  zlib.UseGzipFraming();
  // 32 MiB of zeros compress to about 32 KiB.
  const Bytes zeros(32 << 20, 0);
  const Bytes bomb = CompressAll(zlib, zeros);
  ASSERT_LT(bomb.size(), 100000u);
  Bytes back;
  EXPECT_EQ(UncompressAll(zlib, bomb, &back, 1 << 20), Z_BUF_ERROR);
  std::unique_ptr<uint8_t[]> out;
  uint32_t size = 1 << 20;
  EXPECT_EQ(zlib.GunzipToNewBuffer(&out, &size, bomb.data(), static_cast<uint32_t>(bomb.size())),
            Z_MEM_ERROR);
  // The same bomb with a trailer that lies about its size.
  Bytes lying = bomb;
  lying[lying.size() - 2] = 0;
  lying[lying.size() - 1] = 0;
  size = 1 << 20;
  EXPECT_NE(zlib.GunzipToNewBuffer(&out, &size, lying.data(), static_cast<uint32_t>(lying.size())),
            Z_OK);
  EXPECT_EQ(out, nullptr);
}

TEST(ZLibTest, ZlibAndRawFramingRoundTripAndReuseTheObject) {
  ZLib zlib;
  const Bytes text = SomeText(10000);
  for (int framing = 0; framing < 6; ++framing) {
    switch (framing % 3) {
      case 0:
        zlib.UseRawFraming(false);
        break;
      case 1:
        zlib.UseRawFraming(true);
        break;
      case 2:
        zlib.UseGzipFraming();
        break;
    }
    zlib.SetCompressionLevel(framing < 3 ? 9 : 1);
    const Bytes packed = CompressAll(zlib, text);
    ASSERT_FALSE(packed.empty()) << framing;
    Bytes back;
    EXPECT_EQ(UncompressAll(zlib, packed, &back, 10000), Z_OK) << framing;
    EXPECT_EQ(back, text);
    if (framing % 3 == 0) {
      // A zlib stream is what zlib's own uncompress reads.
      uLongf size = 10000;
      Bytes theirs(size);
      EXPECT_EQ(uncompress(theirs.data(), &size, packed.data(), packed.size()), Z_OK);
      Bytes trailing = packed;
      trailing.push_back(0);
      EXPECT_EQ(UncompressAll(zlib, trailing, &back, 10000), Z_DATA_ERROR);
    }
  }
  zlib.ResetSettings();
  Bytes back;
  EXPECT_EQ(UncompressAll(zlib, CompressAll(zlib, text), &back, 10000), Z_OK);
}

TEST(ZLibTest, PresetDictionaryIsUsedAndRequiresZlibFraming) {
  const std::string dictionary = "heartbeats agent dates version";
  const auto* dict = reinterpret_cast<const uint8_t*>(dictionary.data());
  ZLib zlib;
  zlib.SetDictionary(dict, static_cast<uint32_t>(dictionary.size()));
  const Bytes text = ToBytes("{\"heartbeats\":[{\"agent\":\"a\",\"dates\":[]}],\"version\":\"2\"}");
  const Bytes packed = CompressAll(zlib, text);
  Bytes back;
  EXPECT_EQ(UncompressAll(zlib, packed, &back, 200), Z_OK);
  EXPECT_EQ(back, text);

  ZLib without;
  EXPECT_EQ(UncompressAll(without, packed, &back, 200), Z_NEED_DICT);

  CapturedLog capture;
  ZLib gzip;
  gzip.UseGzipFraming();
  gzip.SetDictionary(dict, 4);
  ASSERT_EQ(capture.Messages().size(), 1u);
  EXPECT_EQ(capture.Messages()[0].first, kLogLevelAssert);
  EXPECT_EQ(capture.Messages()[0].second,
            "Incompatible params: require zlib headers with preset dictionary");
  const Bytes member = CompressAll(gzip, text);
  EXPECT_EQ(UncompressAll(gzip, member, &back, 200), Z_OK);
}

TEST(ZLibTest, PiecesMakeOneMemberAndAreReadInAnyPieces) {
  const Bytes text = SomeText(20000);
  ZLib zlib;
  zlib.UseGzipFraming();
  Bytes member;
  for (size_t offset = 0; offset < text.size(); offset += 3000) {
    const uint32_t length = static_cast<uint32_t>(std::min<size_t>(3000, text.size() - offset));
    Bytes out(4000);
    uint32_t out_size = 4000;
    uint32_t left = length;
    ASSERT_EQ(zlib.CompressPiece(out.data(), &out_size, text.data() + offset, &left), Z_OK);
    EXPECT_EQ(left, 0u);
    member.insert(member.end(), out.begin(), out.begin() + out_size);
  }
  Bytes tail(9);
  uint32_t tail_size = 9;
  EXPECT_EQ(zlib.FinishCompressPieces(tail.data(), &tail_size), Z_BUF_ERROR);
  tail_size = 20;
  tail.resize(20);
  ASSERT_EQ(zlib.FinishCompressPieces(tail.data(), &tail_size), Z_OK);
  member.insert(member.end(), tail.begin(), tail.begin() + tail_size);
  if (test_tools::HaveTool("gzip")) {
    EXPECT_EQ(test_tools::RunTool("gzip -dc", ToString(member)), ToString(text));
  }

  for (size_t piece : {1u, 7u, 100u, 5000u}) {
    Bytes back;
    int err = Z_OK;
    for (size_t offset = 0; offset < member.size() && err == Z_OK; offset += piece) {
      const uint32_t length = static_cast<uint32_t>(std::min(piece, member.size() - offset));
      uint32_t left = length;
      while (left > 0 && err == Z_OK) {
        Bytes out(30000);
        uint32_t out_size = 30000;
        err = zlib.UncompressPiece(out.data(), &out_size, member.data() + offset + length - left,
                                   &left);
        back.insert(back.end(), out.begin(), out.begin() + out_size);
      }
    }
    ASSERT_EQ(err, Z_OK) << piece;
    EXPECT_TRUE(zlib.FinishUncompressPieces()) << piece;
    EXPECT_EQ(back, text);
  }

  // A byte after the trailer, in a later piece, is refused.
  Bytes out(30000);
  uint32_t out_size = 30000;
  uint32_t left = static_cast<uint32_t>(member.size());
  ASSERT_EQ(zlib.UncompressPiece(out.data(), &out_size, member.data(), &left), Z_OK);
  const uint8_t extra = 0;
  left = 1;
  out_size = 30000;
  EXPECT_EQ(zlib.UncompressPiece(out.data(), &out_size, &extra, &left), Z_DATA_ERROR);

  // Missing the end: the finishing check fails.
  out_size = 30000;
  left = static_cast<uint32_t>(member.size() - 12);
  ASSERT_EQ(zlib.UncompressPiece(out.data(), &out_size, member.data(), &left), Z_OK);
  EXPECT_FALSE(zlib.FinishUncompressPieces());
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
