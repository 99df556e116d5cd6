// The parts of the Win32 layer that are its own by nature: the process's command line read
// from /proc, monitors described by TERVALA_MONITORS, the registry kept in a .reg file, and
// libraries loaded with dlopen.
#include <shellapi.h>
#include <shellscalingapi.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace win32_test {
namespace {

TEST(CommandLinePosixTest, TheProgramPathIsTheFirstArgumentOfTheProcess) {
  int count = -1;
  LPWSTR* own = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(own, nullptr);
  EXPECT_GE(count, 1);
  // The process's own command line splits back into its real arguments.
  std::ifstream file("/proc/self/cmdline");
  std::string first;
  std::getline(file, first, '\0');
  char converted[4096];
  ASSERT_GT(
      WideCharToMultiByte(CP_UTF8, 0, own[0], -1, converted, sizeof(converted), nullptr, nullptr),
      0);
  EXPECT_EQ(std::string(converted), first);
  LocalFree(own);
}

class MonitorsTest : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("TERVALA_MONITORS"); }
  static UINT Dpi(HMONITOR monitor) {
    UINT x = 0, y = 0;
    EXPECT_EQ(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y), S_OK);
    EXPECT_EQ(x, y);
    return x;
  }
};

TEST_F(MonitorsTest, DefaultIsOneFullHdMonitorAt96Dpi) {
  unsetenv("TERVALA_MONITORS");
  HMONITOR monitor = MonitorFromPoint(POINT{5000, 5000}, MONITOR_DEFAULTTONEAREST);
  ASSERT_NE(monitor, nullptr);
  EXPECT_EQ(Dpi(monitor), 96u);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetMonitorInfoW(monitor, &info));
  EXPECT_EQ(info.rcMonitor.right, 1920);
  EXPECT_EQ(info.rcMonitor.bottom, 1080);
  EXPECT_EQ(info.dwFlags, static_cast<DWORD>(MONITORINFOF_PRIMARY));
  EXPECT_EQ(MonitorFromPoint(POINT{5000, 5000}, MONITOR_DEFAULTTONULL), nullptr);
}

TEST_F(MonitorsTest, EnvironmentDescribesMonitorsAndBadEntriesAreSkipped) {
  setenv("TERVALA_MONITORS", " 0,0,1920,1080,144 ; -1280,0,1280,1024,96;garbage;1,2,3;", 1);
  HMONITOR primary = MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTONULL);
  HMONITOR left = MonitorFromPoint(POINT{-10, 10}, MONITOR_DEFAULTTONULL);
  ASSERT_NE(primary, nullptr);
  ASSERT_NE(left, nullptr);
  EXPECT_NE(primary, left);
  EXPECT_EQ(Dpi(primary), 144u);
  EXPECT_EQ(Dpi(left), 96u);
  EXPECT_EQ(MonitorFromPoint(POINT{-5000, 10}, MONITOR_DEFAULTTONEAREST), left);
  EXPECT_EQ(MonitorFromPoint(POINT{-5000, 10}, MONITOR_DEFAULTTOPRIMARY), primary);
  RECT straddling{-100, 0, 300, 100};  // Mostly on the primary monitor.
  EXPECT_EQ(MonitorFromRect(&straddling, MONITOR_DEFAULTTONULL), primary);
  UINT x = 0, y = 0;
  EXPECT_EQ(GetDpiForMonitor(reinterpret_cast<HMONITOR>(0x1234567), MDT_DEFAULT, &x, &y),
            E_INVALIDARG);

  setenv("TERVALA_MONITORS", "0,0,0,100,96;0,0,100,100,0", 1);  // Nothing usable.
  EXPECT_EQ(Dpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTONEAREST)), 96u);
}

// Windows are sized by the DPI: absurd ones would make them take gigabytes.
TEST_F(MonitorsTest, DpiOutsideHalfNormalToWindowsLargestScaleIsRefused) {
  for (const char* dpi : {"2400", "960", "481", "47", "24"}) {
    setenv("TERVALA_MONITORS", (std::string("0,0,1920,1080,") + dpi).c_str(), 1);
    EXPECT_EQ(Dpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTONEAREST)), 96u) << dpi;
  }
  setenv("TERVALA_MONITORS", "0,0,1920,1080,48;1920,0,1920,1080,480", 1);
  EXPECT_EQ(Dpi(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTONEAREST)), 48u);
  EXPECT_EQ(Dpi(MonitorFromPoint(POINT{2000, 0}, MONITOR_DEFAULTTONEAREST)), 480u);
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "registry_test_" + std::to_string(getpid()) + ".reg";
    setenv("TERVALA_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TERVALA_REGISTRY");
    std::remove(path_.c_str());
  }
  void Write(const std::string& content) { std::ofstream(path_) << content; }

  static LSTATUS ReadDword(const wchar_t* name, DWORD& value, DWORD flags = RRF_RT_REG_DWORD) {
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tervala", name, flags, nullptr, &value,
                        &size);
  }

  std::string path_;
};

TEST_F(RegistryTest, ReadsDwordAndStringValues) {
  Write(
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\n"
      "\"Number\"=dword:00000007\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\tervala]\n"
      "\"Number\"=dword:0000002a\n"
      "\"Name\"=\"say \\\"hi\\\"\"\n");
  DWORD value = 0;
  EXPECT_EQ(ReadDword(L"number", value), ERROR_SUCCESS);  // Names ignore case.
  EXPECT_EQ(value, 42u);

  wchar_t text[16];
  DWORD size = 4;
  DWORD type = 0;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tervala", L"Name", RRF_RT_REG_SZ, &type,
                         text, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 9 * sizeof(wchar_t));
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tervala", L"Name", RRF_RT_REG_SZ, &type,
                         text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(text, L"say \"hi\"");
  // A string is not a DWORD.
  EXPECT_EQ(ReadDword(L"Name", value), ERROR_UNSUPPORTED_TYPE);
}

TEST_F(RegistryTest, MissingValuesAndMalformedLinesAreNotFound) {
  DWORD value = 5;
  EXPECT_EQ(ReadDword(L"Number", value), ERROR_FILE_NOT_FOUND);  // No file at all.
  Write(
      "[HKEY_CURRENT_USER\\Software\\Tervala]\n"
      "\"Number\"=dword:123456789\n"  // Nine digits: too long.
      "\"Other\"=dword:zz\n"
      "\"Broken\n");
  EXPECT_EQ(ReadDword(L"Number", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadDword(L"Missing", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, 5u);  // Untouched on failure.
  EXPECT_EQ(RegGetValueW(reinterpret_cast<HKEY>(0x1234), nullptr, L"x", RRF_RT_ANY, nullptr,
                         nullptr, nullptr),
            ERROR_INVALID_HANDLE);
}

// The store is read during window creation: whatever is at its path must neither stall nor
// swamp the program.
TEST_F(RegistryTest, OnlyARegularFileOfBoundedSizeIsRead) {
  const std::string value = "[HKEY_CURRENT_USER\\Software\\Tervala]\n\"Number\"=dword:00000001\n";
  Write(value + std::string(2 << 20, ';'));  // a valid value, then 2 MiB without a newline
  DWORD number = 5;
  EXPECT_EQ(ReadDword(L"Number", number), ERROR_FILE_NOT_FOUND);
  std::remove(path_.c_str());
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);  // nobody writes: a blocking open would hang
  EXPECT_EQ(ReadDword(L"Number", number), ERROR_FILE_NOT_FOUND);
  for (const char* other : {"/dev/zero", "/dev/urandom", "/tmp"}) {
    setenv("TERVALA_REGISTRY", other, 1);
    EXPECT_EQ(ReadDword(L"Number", number), ERROR_FILE_NOT_FOUND) << other;
  }
  EXPECT_EQ(number, 5u);
  setenv("TERVALA_REGISTRY", path_.c_str(), 1);
  std::remove(path_.c_str());
  Write(value);
  EXPECT_EQ(ReadDword(L"Number", number), ERROR_SUCCESS);
  EXPECT_EQ(number, 1u);
}

TEST(LibraryTest, LoadsLibrariesAndFindsFunctions) {
  EXPECT_EQ(LoadLibraryA("User32.dll"), nullptr);  // Not a library on this system.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  HMODULE library = LoadLibraryA("libc.so.6");
  ASSERT_NE(library, nullptr);
  EXPECT_NE(GetProcAddress(library, "strlen"), nullptr);
  EXPECT_EQ(GetProcAddress(library, "no_such_function_here"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(library));

  wchar_t path[4096];
  const DWORD length = GetModuleFileNameW(nullptr, path, 4096);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(path[0], L'/');
  EXPECT_NE(std::wstring(path).find(L"win32_tests"), std::wstring::npos);
  wchar_t small[4];
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 4), 4u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(small[3], L'\0');
  EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
}

}  // namespace
}  // namespace win32_test
