// App options cases that need POSIX: a named pipe in place of a config file, and a file
// its user may not read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/app_options.h"
#include "app/tests/app_options_test.h"
#include "app/tests/unprivileged_child.h"

namespace nimbus {
namespace {

using testing::AppOptionsTest;
using testing::TaggedConfig;

// A desktop file that is a named pipe is passed over without a hang, and the second file is
// used.
TEST_F(AppOptionsTest, DesktopFileThatIsAPipeFallsBackToTheSecond) {
  dir_.Write(kConfigFileDefault, TaggedConfig("default"));
  SetConfigDirectory(dir_.path().c_str());
  ASSERT_EQ(mkfifo(dir_.Join(kConfigFileDesktop).c_str(), 0600), 0);
  std::unique_ptr<AppOptions> options(LoadDefaultOptions(nullptr));
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->api_key, "default");
  EXPECT_TRUE(log_.lines().empty());
}

// A desktop file its user may not read is passed over and the second file is used. The
// check runs in a child process that, when it runs as root (which reads any file), first
// becomes an unprivileged user.
TEST_F(AppOptionsTest, UnreadableDesktopFileFallsBackToTheSecond) {
  dir_.Write(kConfigFileDefault, TaggedConfig("default"));
  const std::string desktop = dir_.Write(kConfigFileDesktop, TaggedConfig("desktop"));
  ASSERT_EQ(chmod(desktop.c_str(), 0), 0);
  ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
  SetConfigDirectory(dir_.path().c_str());

  enum ChildResult { kUsedTheSecondFile = 0, kReadTheUnreadable, kFailed };
  const std::optional<int> result = nimbus_testing::RunAsUnprivilegedChild([] {
    AppOptions options;
    if (LoadDefaultOptions(&options) != &options) return int{kFailed};
    return int{options.api_key == "default" ? kUsedTheSecondFile : kReadTheUnreadable};
  });
  if (!result) GTEST_SKIP() << "cannot drop root";
  EXPECT_EQ(*result, kUsedTheSecondFile);
}

}  // namespace
}  // namespace nimbus
