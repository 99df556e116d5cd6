#include "app/library_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/tests/config_test_support.h"

namespace nimbus {
namespace {

using testing::LogCapture;
using testing::LogLine;

// Each test starts and ends with no registry, as after the last app went away.
class LibraryRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { DestroyLibraryRegistry(); }
  void TearDown() override { DestroyLibraryRegistry(); }

  LogCapture log_;
};

TEST_F(LibraryRegistryTest, UserAgentListsLibrariesInNameOrder) {
  EXPECT_STREQ(App::GetUserAgent(), "");
  App::RegisterLibrary("vela-nimbus-core", "4.15.0");
  EXPECT_STREQ(App::GetUserAgent(), "vela-nimbus-core/4.15.0");

  RegisterCoreLibraries();
  const std::string os = GetLibraryVersion("nimbus-cpp-os");
  const std::string arch = GetLibraryVersion("nimbus-cpp-arch");
  const std::string stl = GetLibraryVersion("nimbus-cpp-stl");
  EXPECT_EQ(App::GetUserAgentCopy(), "nimbus-cpp/13.12.0 nimbus-cpp-arch/" + arch +
                                         " nimbus-cpp-buildsrc/ci_built nimbus-cpp-os/" + os +
                                         " nimbus-cpp-stl/" + stl + " vela-nimbus-core/4.15.0");
  EXPECT_STREQ(App::GetUserAgent(), App::GetUserAgentCopy().c_str());
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(LibraryRegistryTest, CoreLibrariesNameThisBuild) {
  RegisterCoreLibraries();
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp"), "13.12.0");
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp-buildsrc"), "ci_built");
#if defined(__linux__)
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp-os"), "linux");
#endif
#if defined(__x86_64__)
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp-arch"), "x86_64");
#endif
#if defined(__GLIBCXX__)
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp-stl"), "libstdc++");
#endif
  EXPECT_EQ(GetLibraryVersion("nimbus-unknown"), "");
}

TEST_F(LibraryRegistryTest, CoreLibrariesRegisterOncePerRegistry) {
  RegisterCoreLibraries();
  App::RegisterLibrary("nimbus-cpp", "99.0.0");
  log_.Clear();
  RegisterCoreLibraries();  // a second app: nothing registered again
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp"), "99.0.0");
  EXPECT_TRUE(log_.lines().empty());

  DestroyLibraryRegistry();
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp"), "");
  EXPECT_STREQ(App::GetUserAgent(), "");
  RegisterCoreLibraries();  // a fresh registry registers them again
  EXPECT_EQ(GetLibraryVersion("nimbus-cpp"), "13.12.0");
}

TEST_F(LibraryRegistryTest, ReRegistration) {
  App::RegisterLibrary("vela-nimbus-core", "4.15.0");
  App::RegisterLibrary("vela-nimbus-core", "4.15.0");
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(App::GetUserAgentCopy(), "vela-nimbus-core/4.15.0");

  App::RegisterLibrary("vela-nimbus-core", "4.16.0");
  EXPECT_EQ(log_.lines(),
            (std::vector<LogLine>{{kLogLevelWarning,
                                   "Library vela-nimbus-core is already registered with version "
                                   "4.15.0. This will be overridden with version 4.16.0."}}));
  EXPECT_EQ(App::GetUserAgentCopy(), "vela-nimbus-core/4.16.0");

  // A version that is a prefix of the stored one is still another version.
  log_.Clear();
  App::RegisterLibrary("vela-nimbus-core", "4.16");
  EXPECT_EQ(log_.lines().size(), 1u);

  // A library stored with an empty version takes a version without a warning.
  log_.Clear();
  App::RegisterLibrary("empty", "");
  EXPECT_EQ(App::GetUserAgentCopy(), "empty/ vela-nimbus-core/4.16");
  App::RegisterLibrary("empty", "1");
  EXPECT_TRUE(log_.lines().empty());
  EXPECT_EQ(GetLibraryVersion("empty"), "1");
}

TEST_F(LibraryRegistryTest, FindHostSdkFollowsPrecedence) {
  std::string sdk = "stale";
  std::string version = "stale";
  FindHostSdk(sdk, version);  // no registry at all
  EXPECT_EQ(sdk, "");
  EXPECT_EQ(version, "");

  App::RegisterLibrary("vela-nimbus-core", "4.15.0");
  FindHostSdk(sdk, version);
  EXPECT_EQ(sdk, "");

  RegisterCoreLibraries();
  FindHostSdk(sdk, version);
  EXPECT_EQ(sdk, "nimbus-cpp");
  EXPECT_EQ(version, "13.12.0");

  App::RegisterLibrary("nimbus-unity", "");  // registered without a version: not a host
  App::RegisterLibrary("nimbus-mono", "2.1");
  FindHostSdk(sdk, version);
  EXPECT_EQ(sdk, "nimbus-mono");
  EXPECT_EQ(version, "2.1");

  App::RegisterLibrary("nimbus-unity", "3.0");
  FindHostSdk(sdk, version);
  EXPECT_EQ(sdk, "nimbus-unity");
  EXPECT_EQ(version, "3.0");
}

TEST_F(LibraryRegistryTest, RegistersLibrariesFromText) {
  RegisterLibrariesFromText("a/1  b/2/x c /d e/ f/3");
  EXPECT_EQ(App::GetUserAgentCopy(), "a/1 b/2/x e/ f/3");
  EXPECT_EQ(GetLibraryVersion("b"), "2/x");
  EXPECT_EQ(GetLibraryVersion("c"), "");

  RegisterLibrariesFromText("a/1 b/3");
  EXPECT_EQ(App::GetUserAgentCopy(), "a/1 b/3 e/ f/3");
  EXPECT_EQ(log_.lines(), (std::vector<LogLine>{{kLogLevelWarning,
                                                 "Library b is already registered with version "
                                                 "2/x. This will be overridden with version 3."}}));

  RegisterLibrariesFromText("");
  RegisterLibrariesFromText("   ");
  EXPECT_EQ(App::GetUserAgentCopy(), "a/1 b/3 e/ f/3");
}

// Readers on other threads see whole user agents while libraries are registered.
TEST_F(LibraryRegistryTest, UserAgentCopyIsSafeDuringRegistration) {
  SetLogLevel(kLogLevelError);  // the version changes warn
  RegisterCoreLibraries();
  constexpr int kWriters = 2;
  constexpr int kRounds = 300;
  std::atomic<bool> done{false};
  std::atomic<int> malformed{0};

  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&] {
      std::string sdk, version;
      while (!done.load()) {
        const std::string agent = App::GetUserAgentCopy();
        // Every blank-separated token is name/version, and the core libraries are present.
        if (agent.find("nimbus-cpp/13.12.0") == std::string::npos || agent.back() == ' ' ||
            agent.find("  ") != std::string::npos) {
          malformed.fetch_add(1);
        }
        FindHostSdk(sdk, version);
        if (sdk != "nimbus-cpp") malformed.fetch_add(1);
      }
    });
  }
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([w] {
      const std::string library = "writer-" + std::to_string(w);
      for (int i = 0; i < kRounds; ++i) {
        App::RegisterLibrary(library.c_str(), std::to_string(i).c_str());
        RegisterLibrariesFromText((library + "-text/" + std::to_string(i)).c_str());
      }
    });
  }
  for (auto& writer : writers) writer.join();
  done.store(true);
  for (auto& reader : readers) reader.join();

  EXPECT_EQ(malformed.load(), 0);
  EXPECT_EQ(GetLibraryVersion("writer-0"), std::to_string(kRounds - 1));
  EXPECT_NE(App::GetUserAgentCopy().find("writer-1-text/" + std::to_string(kRounds - 1)),
            std::string::npos);
}

}  // namespace
}  // namespace nimbus
