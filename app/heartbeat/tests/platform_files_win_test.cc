// The Windows product's own application-data folder (the known folder LocalAppData, which
// no environment variable of the XDG convention moves), folders that exist but cannot be
// created again, and TERVALA_DATA_DIR values that are no valid path.
#include <windows.h>
// After <windows.h>, which they build on.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/heartbeat/platform_files.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "platform/test_support/environment.h"

// The slot of this program's import table through which every call of CreateDirectoryW
// goes, the code tested included (it is linked into the test program).
extern "C" decltype(&CreateDirectoryW) __imp_CreateDirectoryW;

namespace nimbus {
namespace {

using heartbeat::testing::ListFolder;
using heartbeat::testing::LogCapture;
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

// While it lives, CreateDirectoryW answers as Windows does for a drive root, the root of a
// share or a folder under a parent the user may not write to: ERROR_ACCESS_DENIED for a
// folder that exists. (Wine says ERROR_ALREADY_EXISTS there.) Other calls go through.
class AccessDeniedForExistingFolders {
 public:
  AccessDeniedForExistingFolders() { Swap(&Answer); }
  ~AccessDeniedForExistingFolders() { Swap(original_); }

 private:
  static BOOL WINAPI Answer(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    return original_(path, attributes);
  }

  static void Swap(decltype(&CreateDirectoryW) function) {
    DWORD protection = 0;
    ASSERT_TRUE(
        VirtualProtect(&__imp_CreateDirectoryW, sizeof(function), PAGE_READWRITE, &protection));
    if (original_ == nullptr) original_ = __imp_CreateDirectoryW;
    __imp_CreateDirectoryW = function;
    VirtualProtect(&__imp_CreateDirectoryW, sizeof(function), protection, &protection);
  }

  static inline decltype(&CreateDirectoryW) original_ = nullptr;
};

TEST(AppDataDirTest, AFolderThatExistsIsUsedWhateverItsCreationSays) {
  TestDataHome home;
  const std::string existing = home.path() + "/nimbus-heartbeat";
  ASSERT_TRUE(CreateDirectoryW(Utf8ToNative(existing).c_str(), nullptr));
  heartbeat::testing::WriteFileBytes(home.path() + "/a-file", "");
  AccessDeniedForExistingFolders denied;

  std::string error;
  EXPECT_TRUE(EnsureDirectoryExists(Utf8ToNative(existing), &error));
  // The base folder exists, the first level too, the second is made.
  EXPECT_EQ(AppDataDir("nimbus-heartbeat/sub", true, &error), existing + "/sub");
  EXPECT_EQ(error, "");
  EXPECT_EQ(ListFolder(existing), std::vector<std::string>{"sub"});
  // A file is no folder, whatever the error.
  EXPECT_FALSE(EnsureDirectoryExists(Utf8ToNative(home.path() + "/a-file"), &error));
  EXPECT_EQ(error, "Could not create directory " + home.path() + "/a-file");
}

// A variable that holds an unpaired surrogate would name another folder, with U+FFFD in its
// name: it is refused, with a message, and the folder stays as it was.
TEST(AppDataDirTest, AFolderVariableThatIsNoValidTextIsRefused) {
  TestDataHome home;
  const std::string before = AppDataDir("nimbus-heartbeat", false, nullptr);
  const std::wstring value = Utf8ToNative(home.path()) + L"\\bad-\xD800-name";
  ASSERT_TRUE(SetEnvironmentVariableW(L"TERVALA_TEST_FOLDER", value.c_str()));
  LogCapture log;
  SetLocalAppDataFolderFromEnvironment("TERVALA_TEST_FOLDER");
  SetEnvironmentVariableW(L"TERVALA_TEST_FOLDER", nullptr);

  EXPECT_EQ(AppDataDir("nimbus-heartbeat", false, nullptr), before);
  EXPECT_EQ(log.Messages(kLogLevelError),
            std::vector<std::string>{"TERVALA_TEST_FOLDER is not a valid path (it holds an "
                                     "unpaired surrogate): it is ignored."});
}

TEST(TextConversionTest, ANullTextGivesTheInvalidParameterCode) {
  std::string error;
  EXPECT_EQ(NativeToUtf8(nullptr, 3, &error), "");
  EXPECT_EQ(error, "NativeToUtf8 failed with code 87");  // ERROR_INVALID_PARAMETER
}

}  // namespace
}  // namespace nimbus
