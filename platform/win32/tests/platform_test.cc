#include <objbase.h>
#include <shellapi.h>
#include <shellscalingapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/test_support/child_process.h"
#include "platform/test_support/paths.h"

namespace win32_test {
namespace {

std::vector<std::wstring> Split(const wchar_t* command_line) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(command_line, &count);
  std::vector<std::wstring> out;
  if (arguments == nullptr) return out;
  for (int i = 0; i < count; ++i) out.emplace_back(arguments[i]);
  EXPECT_EQ(arguments[count], nullptr);
  LocalFree(arguments);
  return out;
}

TEST(CommandLineTest, SplitsByTheWindowsRules) {
  using Args = std::vector<std::wstring>;
  EXPECT_EQ(Split(L"app a b"), (Args{L"app", L"a", L"b"}));
  EXPECT_EQ(Split(L"\"C:\\Program Files\\app.exe\" x"),
            (Args{L"C:\\Program Files\\app.exe", L"x"}));
  EXPECT_EQ(Split(L"app \"\" b"), (Args{L"app", L"", L"b"}));
  EXPECT_EQ(Split(L"app \"a b\"c"), (Args{L"app", L"a bc"}));
  EXPECT_EQ(Split(L"app a\\\\\\\"b"), (Args{L"app", L"a\\\"b"}));      // 3 backslashes, quote.
  EXPECT_EQ(Split(L"app \"a\\\\\" b"), (Args{L"app", L"a\\", L"b"}));  // 2 before a quote.
  EXPECT_EQ(Split(L"app a\\b\\\\c"), (Args{L"app", L"a\\b\\\\c"}));    // Literal otherwise.
  EXPECT_EQ(Split(L"app \"a\"\"b\""), (Args{L"app", L"a\"b"}));
  EXPECT_EQ(Split(L"app   \t  "), (Args{L"app"}));
  ASSERT_EQ(Split(L"").size(), 1u);  // The executable's path.

  int count = -1;
  EXPECT_EQ(CommandLineToArgvW(L"x", nullptr), nullptr);
  LPWSTR* own = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(own, nullptr);
  EXPECT_GE(count, 1);
  LocalFree(own);
}

// In a child process started by the test below: the copy of the command line text splits
// back into the process's real arguments.
TEST(CommandLineTest, TextSplitsBackIntoTheArguments) {
  if (std::getenv("WIN32_TESTS_COMMAND_LINE_CHILD") == nullptr) {
    GTEST_SKIP() << "runs in the child process of QuotedArgumentsSurviveTheRoundTrip";
  }
  const std::wstring copy = GetCommandLineW();
  int count = 0;
  LPWSTR* split = CommandLineToArgvW(copy.c_str(), &count);
  int own_count = 0;
  LPWSTR* own = CommandLineToArgvW(GetCommandLineW(), &own_count);
  ASSERT_NE(split, nullptr);
  ASSERT_NE(own, nullptr);
  ASSERT_EQ(count, own_count) << "command line: " << copy.size();
  for (int i = 0; i < count; ++i) EXPECT_STREQ(split[i], own[i]) << "argument " << i;
  LocalFree(split);
  LocalFree(own);
}

TEST(CommandLineTest, QuotedArgumentsSurviveTheRoundTrip) {
  // The child's command line is made from these arguments by the system (POSIX: by the
  // layer, from argv) or by the test support's quoting (Windows).
  const std::vector<std::string> arguments = {
      "--gtest_filter=CommandLineTest.TextSplitsBackIntoTheArguments",
      "a b",
      "",
      "x\\\"y",
      "tail\\",
      "q\"",
      "\\\\\"",
      "tab\there",
      "\xC3\xA9t\xC3\xA9"};
  tervala_testing::ChildOptions options;
  options.environment = {{"WIN32_TESTS_COMMAND_LINE_CHILD", "1"}};
  const tervala_testing::ChildRun run = tervala_testing::RunChild(
      tervala_testing::PathToUtf8(tervala_testing::CurrentExecutable()), arguments, options);
  EXPECT_TRUE(run.exit.ExitedWith(0)) << run.out << run.err;
}

TEST(TextTest, ConvertsUtf8AndWideAndReportsInvalidInput) {
  const char* utf8 = "a\xC3\xA9\xF0\x9F\x98\x80";  // a, e-acute, an emoji.
  wchar_t wide[8] = {};
  // The emoji is a surrogate pair where wchar_t has 16 bits (Windows) and one unit where it
  // has 32 (the layer on Linux).
  constexpr int kUnits = sizeof(wchar_t) == 2 ? 5 : 4;
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), kUnits);
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 8), kUnits);
  EXPECT_EQ(wide[1], static_cast<wchar_t>(0xE9));
  if (sizeof(wchar_t) == 2) {
    EXPECT_EQ(static_cast<uint32_t>(wide[2]), 0xD83Du);
    EXPECT_EQ(static_cast<uint32_t>(wide[3]), 0xDE00u);
  } else {
    EXPECT_EQ(static_cast<uint32_t>(wide[2]), 0x1F600u);
  }

  char back[16] = {};
  EXPECT_EQ(
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, back, 16, nullptr, nullptr), 8);
  EXPECT_STREQ(back, utf8);
  // A UTF-16 surrogate pair is one code point.
  const wchar_t pair[] = {0xD83D, 0xDE00, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, pair, -1, back, 16, nullptr, nullptr), 5);
  EXPECT_STREQ(back, "\xF0\x9F\x98\x80");
  // An unpaired surrogate fails with the flag and becomes U+FFFD without it.
  const wchar_t lone[] = {L'a', 0xD800, 0};
  EXPECT_EQ(
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, nullptr, 0, nullptr, nullptr),
      0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, back, 16, nullptr, nullptr), 5);
  EXPECT_STREQ(back, "a\xEF\xBF\xBD");
  // Malformed UTF-8: overlong, truncated and surrogate forms.
  for (const char* bad : {"\xC0\xAF", "\xE2\x82", "\xED\xA0\x80", "\xF5\x80\x80\x80"}) {
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, nullptr, 0), 0) << bad;
  }
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", 2, wide, 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(ProcessTest, ComCountsItsInitialisationsPerThread) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

}  // namespace
}  // namespace win32_test
