// App options cases of Windows: a desktop file another program holds open for itself alone.
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

// A desktop file that cannot be opened (held without sharing) is passed over, and the
// second file is used.
TEST_F(AppOptionsTest, LockedDesktopFileFallsBackToTheSecond) {
  dir_.Write(kConfigFileDefault, TaggedConfig("default"));
  const std::string desktop = dir_.Write(kConfigFileDesktop, TaggedConfig("desktop"));
  SetConfigDirectory(dir_.path().c_str());
  const HANDLE holder = CreateFileW(tervala_testing::PathFromUtf8(desktop).c_str(), GENERIC_READ, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  std::unique_ptr<AppOptions> options(LoadDefaultOptions(nullptr));
  CloseHandle(holder);
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->api_key, "default");
}

}  // namespace
}  // namespace nimbus
