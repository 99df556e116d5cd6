#include "app/heartbeat/platform_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/heartbeat/tests/test_data_home.h"

namespace nimbus {
namespace {

using heartbeat::testing::IsDirectory;
using heartbeat::testing::ListFolder;
using heartbeat::testing::TestDataHome;
using heartbeat::testing::WriteFileBytes;

constexpr char kUntouched[] = "untouched";

TEST(AppDataDirTest, CreatesEachLevelAndJoinsWithSlashes) {
  TestDataHome home;
  std::string error = kUntouched;
  EXPECT_EQ(AppDataDir("a/b", true, &error), home.path() + "/a/b");
  EXPECT_TRUE(IsDirectory(home.path() + "/a/b"));
  EXPECT_EQ(error, kUntouched);

  // Existing folders are fine; empty components are skipped.
  EXPECT_EQ(AppDataDir("//a//b/", true, &error), home.path() + "/a/b");
  EXPECT_EQ(AppDataDir("nimbus-heartbeat", true, &error), home.path() + "/nimbus-heartbeat");
  EXPECT_EQ(AppDataDir("nimbus-heartbeat", true, &error), home.path() + "/nimbus-heartbeat");
  EXPECT_EQ(error, kUntouched);

  // A lone slash names no sub-folder: the result is the data folder itself.
  EXPECT_EQ(AppDataDir("/", true, &error), home.path());
  EXPECT_EQ(error, kUntouched);
}

TEST(AppDataDirTest, WithoutCreateOnlyJoins) {
  TestDataHome home;
  std::string error = kUntouched;
  EXPECT_EQ(AppDataDir("x", false, &error), home.path() + "/x");
  EXPECT_EQ(AppDataDir("x//y/", false, &error), home.path() + "/x//y/");
  EXPECT_EQ(error, kUntouched);
  EXPECT_TRUE(ListFolder(home.path()).empty());
}

TEST(AppDataDirTest, RejectsMissingNamesAndBackslashes) {
  TestDataHome home;
  std::string error;
  EXPECT_EQ(AppDataDir(nullptr, true, &error), "");
  EXPECT_EQ(error, "AppDataDir failed: no app_name provided");
  error.clear();
  EXPECT_EQ(AppDataDir("", true, &error), "");
  EXPECT_EQ(error, "AppDataDir failed: no app_name provided");
  EXPECT_EQ(AppDataDir("a/b\\c", true, &error), "");
  EXPECT_EQ(error, "AppDataDir failed: app_name should not contain backward slashes");
  EXPECT_EQ(AppDataDir("a\\b", false, nullptr), "");
  EXPECT_TRUE(ListFolder(home.path()).empty());
}

TEST(AppDataDirTest, ReportsAFileInTheWay) {
  TestDataHome home;
  WriteFileBytes(home.path() + "/a", "not a folder");
  std::string error;
  EXPECT_EQ(AppDataDir("a/b", true, &error), "");
  EXPECT_EQ(error,
            "Could not create directory " + home.path() + "/a: non-directory already exists");

  // Without an error output the failure is the same, only silent.
  EXPECT_EQ(AppDataDir("a/b", true, nullptr), "");

  // A level that cannot be created at all: its parent is a file.
  std::wstring path = Utf8ToNative(home.path() + "/a/b");
  EXPECT_FALSE(EnsureDirectoryExists(path, &error));
  EXPECT_EQ(error, "Could not create directory " + home.path() + "/a/b");
  EXPECT_FALSE(EnsureDirectoryExists(path, nullptr));
}

TEST(TextConversionTest, RoundTripsUtf8ThroughUtf16) {
  // One-, two-, three- and four-byte characters; the last needs a surrogate pair.
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::wstring native = Utf8ToNative(text);
  const std::wstring expected = {L'a', 0xE9, 0x20AC, 0xD83D, 0xDE00};
  EXPECT_EQ(native, expected);
  EXPECT_EQ(NativeToUtf8(native.data(), native.size()), text);

  const std::string with_nul("a\0b", 3);
  EXPECT_EQ(Utf8ToNative(with_nul).size(), 3u);
}

TEST(TextConversionTest, ReplacesMalformedInput) {
  const std::wstring replacement(1, 0xFFFD);
  struct Case {
    std::string utf8;
    std::wstring native;
  };
  const std::vector<Case> cases = {
      {"\x80", replacement},  // stray continuation byte
      {"\xC3", replacement},  // truncated at the end
      {"\xE2\x82"
       "A",
       replacement + L"A"},                     // cut short by an ASCII byte
      {"\xC0\xAF", replacement + replacement},  // overlong form
      {"\xFF"
       "b",
       replacement + L"b"},
  };
  for (const Case& c : cases) {
    std::string error = kUntouched;
    EXPECT_EQ(Utf8ToNative(c.utf8, &error), c.native) << c.utf8;
    EXPECT_EQ(error, kUntouched);
  }
  // An encoded surrogate and a value beyond U+10FFFF become replacement characters only
  // (how many is the system's choice on Windows).
  for (const std::string utf8 : {"\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    std::string error = kUntouched;
    const std::wstring native = Utf8ToNative(utf8, &error);
    EXPECT_FALSE(native.empty()) << utf8;
    EXPECT_EQ(native, std::wstring(native.size(), 0xFFFD)) << utf8;
    EXPECT_EQ(error, kUntouched);
  }

  const std::string utf8_replacement = "\xEF\xBF\xBD";
  const std::wstring lone_high = {L'x', 0xD800, L'y'};
  const std::wstring lone_low = {0xDC00};
  const std::wstring reversed = {0xDC00, 0xD800};
  EXPECT_EQ(NativeToUtf8(lone_high.data(), lone_high.size()), "x" + utf8_replacement + "y");
  EXPECT_EQ(NativeToUtf8(lone_low.data(), lone_low.size()), utf8_replacement);
  EXPECT_EQ(NativeToUtf8(reversed.data(), reversed.size()), utf8_replacement + utf8_replacement);
  // Only a wchar_t wider than 16 bits (not Windows') holds a value beyond U+FFFF.
  if constexpr (sizeof(wchar_t) > 2) {
    const std::wstring too_wide = {static_cast<wchar_t>(0x1F600)};
    EXPECT_EQ(NativeToUtf8(too_wide.data(), too_wide.size()), utf8_replacement);
  }
}

TEST(TextConversionTest, EmptyInputsAndNullText) {
  std::string error = kUntouched;
  EXPECT_EQ(Utf8ToNative("", &error), L"");
  EXPECT_EQ(NativeToUtf8(nullptr, 0, &error), "");
  EXPECT_EQ(NativeToUtf8(L"abc", 0, &error), "");
  EXPECT_EQ(error, kUntouched);

  EXPECT_EQ(NativeToUtf8(nullptr, 3, &error), "");
  // The code is the platform's invalid-argument code.
  EXPECT_TRUE(error.starts_with("NativeToUtf8 failed with code ")) << error;
  EXPECT_EQ(NativeToUtf8(nullptr, 3, nullptr), "");
}

}  // namespace
}  // namespace nimbus
