// Paths longer than the classic Win32 limit: their extended-length form, and a config file
// read from a folder deeper than 260 characters.
#include "app/long_path_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/app_options.h"
#include "app/tests/app_options_test.h"
#include "platform/test_support/paths.h"

namespace nimbus {
namespace {

using testing::AppOptionsTest;
using testing::TaggedConfig;

// `count` copies of a 20-character folder name, each followed by `separator`.
std::wstring Levels(int count, const wchar_t* separator) {
  std::wstring levels;
  for (int i = 0; i < count; ++i) (levels += L"folder-of-20-letters") += separator;
  return levels;
}

TEST(ExtendedLengthPathTest, OnlyLongPathsChangeAndThenAreAbsoluteWithBackslashes) {
  // Short paths and those already in extended or device form stay as they are.
  EXPECT_EQ(ExtendedLengthPath(L""), L"");
  EXPECT_EQ(ExtendedLengthPath(L"C:\\Users\\u/AppData/x"), L"C:\\Users\\u/AppData/x");
  const std::wstring short_enough = L"C:\\" + std::wstring(kLongPathThreshold - 4, L'a');
  EXPECT_EQ(ExtendedLengthPath(short_enough), short_enough);
  const std::wstring extended = L"\\\\?\\C:\\" + Levels(15, L"/");
  EXPECT_EQ(ExtendedLengthPath(extended), extended);
  const std::wstring device = L"\\\\.\\C:\\" + Levels(15, L"\\");
  EXPECT_EQ(ExtendedLengthPath(device), device);

  // From the threshold on: the prefix, '\' throughout, "." and ".." resolved.
  const std::wstring at_threshold = L"C:\\" + std::wstring(kLongPathThreshold - 3, L'a');
  EXPECT_EQ(ExtendedLengthPath(at_threshold), L"\\\\?\\" + at_threshold);
  EXPECT_EQ(ExtendedLengthPath(L"C:\\base/" + Levels(15, L"/") + L"./x/../file"),
            L"\\\\?\\C:\\base\\" + Levels(15, L"\\") + L"file");
  EXPECT_EQ(ExtendedLengthPath(L"\\\\server\\share/" + Levels(15, L"/") + L"file"),
            L"\\\\?\\UNC\\server\\share\\" + Levels(15, L"\\") + L"file");

  // A relative path becomes absolute, against the current folder.
  wchar_t current[MAX_PATH * 4];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH * 4, current);
  ASSERT_GT(length, 0u);
  std::wstring expected = L"\\\\?\\" + std::wstring(current, length);
  if (expected.back() != L'\\') expected += L'\\';
  EXPECT_EQ(ExtendedLengthPath(Levels(15, L"/") + L"file"), expected + Levels(15, L"\\") + L"file");
}

TEST_F(AppOptionsTest, AConfigFileDeeperThanTheClassicLimitIsRead) {
  std::wstring folder = L"\\\\?\\" + tervala_testing::PathFromUtf8(dir_.path()).wstring();
  for (wchar_t& c : folder) {
    if (c == L'/') c = L'\\';
  }
  std::string deep = dir_.path();
  while (deep.size() < 300) {
    folder += L"\\folder-of-20-letters";
    deep += "\\folder-of-20-letters";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  }
  const std::string config = TaggedConfig("deep");
  const HANDLE file = CreateFileW((folder + L"\\nimbus-services.json").c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, config.data(), static_cast<DWORD>(config.size()), &written, nullptr);
  CloseHandle(file);

  SetConfigDirectory(deep.c_str());
  std::unique_ptr<AppOptions> options(LoadDefaultOptions(nullptr));
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->api_key, "deep");
}

}  // namespace
}  // namespace nimbus
