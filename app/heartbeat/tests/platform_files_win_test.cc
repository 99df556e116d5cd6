// The Windows product's own application-data folder: the known folder LocalAppData, which
// no environment variable of the XDG convention moves.
#include <windows.h>
// After <windows.h>, which they build on.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "app/heartbeat/platform_files.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "platform/test_support/environment.h"

namespace nimbus {
namespace {

using heartbeat::testing::ListFolder;
using heartbeat::testing::TestDataHome;
using tervala_testing::ScopedEnvironmentVariable;

std::string KnownLocalAppData() {
  PWSTR folder = nullptr;
  std::string result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
    result = NativeToUtf8(folder, wcslen(folder));
  }
  CoTaskMemFree(folder);
  return result;
}

TEST(AppDataDirTest, TheSystemFolderIsTheKnownFolderWhateverXdgSays) {
  TestDataHome home;
  ScopedEnvironmentVariable data_home("XDG_DATA_HOME", home.path());
  const std::string known = KnownLocalAppData();
  ASSERT_FALSE(known.empty());

  SetLocalAppDataFolder(std::string());
  const std::string system_folder = AppDataDir("nimbus-heartbeat", false, nullptr);
  // A trailing separator is dropped as well.
  SetLocalAppDataFolder(home.path() + "\\");
  EXPECT_EQ(system_folder, known + "/nimbus-heartbeat");
  EXPECT_EQ(AppDataDir("nimbus-heartbeat", false, nullptr), home.path() + "/nimbus-heartbeat");
  EXPECT_TRUE(ListFolder(home.path()).empty());
}

TEST(TextConversionTest, ANullTextGivesTheInvalidParameterCode) {
  std::string error;
  EXPECT_EQ(NativeToUtf8(nullptr, 3, &error), "");
  EXPECT_EQ(error, "NativeToUtf8 failed with code 87");  // ERROR_INVALID_PARAMETER
}

}  // namespace
}  // namespace nimbus
