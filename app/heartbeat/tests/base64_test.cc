#include "app/heartbeat/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "app/heartbeat/tests/tool_runner.h"

namespace nimbus {
namespace heartbeat {
namespace {

std::string Decoded(const std::string& text) {
  std::string bytes = "unchanged";
  if (!Base64Decode(text, &bytes)) return "<refused>";
  return bytes;
}

TEST(Base64Test, EncodesKnownVectorsInAllFourForms) {
  // The RFC 4648 test vectors.
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, padded] : vectors) {
    std::string unpadded = padded;
    unpadded.erase(unpadded.find_last_not_of('=') + 1);
    std::string out;
    ASSERT_TRUE(Base64EncodeWithPadding(plain, &out));
    EXPECT_EQ(out, padded);
    ASSERT_TRUE(Base64Encode(plain, &out));
    EXPECT_EQ(out, unpadded);
    EXPECT_EQ(GetEncodedSize(std::string(plain).size()), std::string(padded).size());
    EXPECT_EQ(Decoded(padded), plain);
    EXPECT_EQ(Decoded(unpadded), plain);
  }

  const std::string fb_ff = "\xFB\xFF";
  std::string out;
  ASSERT_TRUE(Base64EncodeUrlSafe(fb_ff, &out));
  EXPECT_EQ(out, "-_8");
  ASSERT_TRUE(Base64EncodeUrlSafeWithPadding(fb_ff, &out));
  EXPECT_EQ(out, "-_8=");
  ASSERT_TRUE(Base64Encode(fb_ff, &out));
  EXPECT_EQ(out, "+/8");
  ASSERT_TRUE(Base64EncodeWithPadding(fb_ff, &out));
  EXPECT_EQ(out, "+/8=");
  for (const char* text : {"-_8", "-_8=", "+/8", "+/8=", "-/8", "+_8="}) {
    EXPECT_EQ(Decoded(text), fb_ff) << text;
  }
  EXPECT_EQ(Decoded("QQ"), "A");
  EXPECT_EQ(Decoded(""), "");
}

TEST(Base64Test, OutputMayBeTheInputAndNullOutputFails) {
  std::string text = "hello";
  ASSERT_TRUE(Base64EncodeUrlSafe(text, &text));
  EXPECT_EQ(text, "aGVsbG8");
  ASSERT_TRUE(Base64Decode(text, &text));
  EXPECT_EQ(text, "hello");
  EXPECT_FALSE(Base64Encode("x", nullptr));
  EXPECT_FALSE(Base64Decode("QQ", nullptr));
}

TEST(Base64Test, DecoderRefusesMalformedText) {
  const char* refused[] = {
      "-_9",   // bits hidden by the missing padding are not zero
      "-_9=",  // the same with padding
      "QR",    // low bits of the second character set under two pads
      "QR==",
      "QUJDR",  // 4k + 1 characters
      "Q",
      "Q===",      // padding in second place
      "=QQQ",      // padding in first place
      "QQ=Q",      // third '=' without a fourth
      "QQ==QUJD",  // padding before the last group
      "QUI=QUJD",
      "QQ=",  // partial padding
      "QUJD=",
      "QU JD",  // whitespace is not accepted
      "QUJ\n",    "QUJ.",
      "QUJ\xC3",  // bytes of 0x80 and above
  };
  for (const char* text : refused) {
    std::string out = "kept";
    EXPECT_FALSE(Base64Decode(text, &out)) << text;
    EXPECT_EQ(out, "kept") << text;
  }
  EXPECT_FALSE(Base64Decode(std::string("QU\0D", 4), nullptr));
  std::string out;
  EXPECT_FALSE(Base64Decode(std::string("QU\0D", 4), &out));
}

TEST(Base64Test, RandomBytesRoundTripThroughAllEncoders) {
  std::mt19937 random(12345);
  for (size_t size = 0; size < 200; ++size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    for (auto encode : {Base64Encode, Base64EncodeWithPadding, Base64EncodeUrlSafe,
                        Base64EncodeUrlSafeWithPadding}) {
      std::string text;
      ASSERT_TRUE(encode(bytes, &text));
      EXPECT_EQ(GetDecodedSize(text), size);
      std::string back;
      ASSERT_TRUE(Base64Decode(text, &back)) << text;
      EXPECT_EQ(back, bytes);
    }
  }
}

// The padded standard form is what the system's base64 tool writes and reads.
TEST(Base64Test, AgreesWithTheSystemBase64Tool) {
  if (!test_tools::HaveTool("base64")) GTEST_SKIP() << "no base64 tool";
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7 + i / 13);
  std::string ours;
  ASSERT_TRUE(Base64EncodeWithPadding(bytes, &ours));
  EXPECT_EQ(test_tools::RunTool("base64 -w0", bytes), ours);
  EXPECT_EQ(test_tools::RunTool("base64 -d", ours), bytes);

  // The tool's output for the web-safe alphabet, unpadded, is what we decode.
  const auto url_safe = test_tools::RunTool("basenc --base64url -w0", bytes);
  if (url_safe.has_value()) {
    std::string text = *url_safe;
    text.erase(text.find_last_not_of('=') + 1);
    std::string back;
    ASSERT_TRUE(Base64Decode(text, &back));
    EXPECT_EQ(back, bytes);
  }
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
