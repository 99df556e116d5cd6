#include "runner/utils.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf16ToUtf8Test, ConvertsValidText) {
  EXPECT_EQ(Utf16ToUtf8(L"Tervala"), "Tervala");
  EXPECT_EQ(Utf16ToUtf8(L"\u00fc\u2603"), "\xc3\xbc\xe2\x98\x83");
  // A character beyond the basic plane, as one code point and as a UTF-16 surrogate pair.
  EXPECT_EQ(Utf16ToUtf8(L"\U0001F600"), "\xf0\x9f\x98\x80");
  const wchar_t pair[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(Utf16ToUtf8(pair), "\xf0\x9f\x98\x80");
}

TEST(Utf16ToUtf8Test, NullEmptyAndInvalidTextGiveTheEmptyString) {
  EXPECT_EQ(Utf16ToUtf8(nullptr), "");
  EXPECT_EQ(Utf16ToUtf8(L""), "");
  // Unpaired surrogates anywhere spoil the whole string rather than being replaced.
  const wchar_t lone_high[] = {L'a', 0xD800, L'b', 0};
  const wchar_t lone_low[] = {0xDC00, 0};
  const wchar_t high_at_end[] = {L'a', 0xD83D, 0};
  EXPECT_EQ(Utf16ToUtf8(lone_high), "");
  EXPECT_EQ(Utf16ToUtf8(lone_low), "");
  EXPECT_EQ(Utf16ToUtf8(high_at_end), "");
}

}  // namespace
