// The Linux product's own application-data folder: $XDG_DATA_HOME, else ~/.local/share, and
// folders only their user may enter. Each test keeps these variables inside a scratch
// folder and restores them afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>

#include "app/heartbeat/platform_files.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "platform/test_support/environment.h"

namespace nimbus {
namespace {

using heartbeat::testing::IsDirectory;
using heartbeat::testing::TestDataHome;
using heartbeat::testing::WriteFileBytes;
using tervala_testing::ScopedEnvironmentVariable;
using tervala_testing::SetEnvironmentValue;

constexpr char kUntouched[] = "untouched";

// Gives the folder the system names back for its lifetime, in place of the test's
// `scratch` folder, which it sets again afterwards.
class SystemFolder {
 public:
  explicit SystemFolder(std::string scratch) : scratch_(std::move(scratch)) {
    SetLocalAppDataFolder(std::string());
  }
  ~SystemFolder() { SetLocalAppDataFolder(scratch_); }

 private:
  std::string scratch_;
};

TEST(AppDataDirTest, CreatesFoldersOnlyTheUserMayEnter) {
  TestDataHome home;
  ASSERT_EQ(AppDataDir("a/b", true, nullptr), home.path() + "/a/b");
  for (const std::string& folder : {home.path() + "/a", home.path() + "/a/b"}) {
    struct stat info;
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
  }
}

TEST(AppDataDirTest, CreatesTheDataFolderOfAFreshAccount) {
  TestDataHome home;
  SystemFolder system_folder(home.path());
  const std::string data_home = home.path() + "/fresh/.local/share";
  ScopedEnvironmentVariable data_home_variable("XDG_DATA_HOME", data_home);
  std::string error = kUntouched;
  EXPECT_EQ(AppDataDir("nimbus-heartbeat", true, &error), data_home + "/nimbus-heartbeat");
  EXPECT_EQ(error, kUntouched);
  EXPECT_TRUE(IsDirectory(data_home + "/nimbus-heartbeat"));

  // A file where a level of the data folder belongs.
  WriteFileBytes(home.path() + "/file", "");
  SetEnvironmentValue("XDG_DATA_HOME", home.path() + "/file/share");
  EXPECT_EQ(AppDataDir("nimbus-heartbeat", true, &error), "");
  EXPECT_EQ(error,
            "Could not create directory " + home.path() + "/file: non-directory already exists");
}

TEST(AppDataDirTest, FallsBackToHomeAndFailsWithoutEither) {
  TestDataHome home;
  SystemFolder system_folder(home.path());
  ScopedEnvironmentVariable saved_data_home("XDG_DATA_HOME", std::nullopt);
  ScopedEnvironmentVariable saved_home("HOME", home.path() + "/user/");
  const std::string expected = home.path() + "/user/.local/share/n";
  EXPECT_EQ(AppDataDir("n", false, nullptr), expected);
  // A relative $XDG_DATA_HOME is to be ignored.
  SetEnvironmentValue("XDG_DATA_HOME", "relative/share");
  EXPECT_EQ(AppDataDir("n", false, nullptr), expected);
  // Trailing slashes of the data folder do not double up.
  SetEnvironmentValue("XDG_DATA_HOME", home.path() + "//");
  EXPECT_EQ(AppDataDir("n", false, nullptr), home.path() + "/n");

  SetEnvironmentValue("XDG_DATA_HOME", std::nullopt);
  SetEnvironmentValue("HOME", "");
  std::string error;
  EXPECT_EQ(AppDataDir("n", true, &error), "");
  EXPECT_EQ(error, "Failed to find the local application data directory (error code: -2)");
}

// Our own conversion replaces each maximal ill-formed subsequence, as Unicode recommends.
TEST(TextConversionTest, ReplacesEachIllFormedByteOfSurrogatesAndTooLargeValues) {
  EXPECT_EQ(Utf8ToNative("\xED\xA0\x80"), std::wstring(3, 0xFFFD));
  EXPECT_EQ(Utf8ToNative("\xF4\x90\x80\x80"), std::wstring(4, 0xFFFD));
  std::string error;
  EXPECT_EQ(NativeToUtf8(nullptr, 3, &error), "");
  EXPECT_EQ(error, "NativeToUtf8 failed with code 22");  // EINVAL
}

}  // namespace
}  // namespace nimbus
