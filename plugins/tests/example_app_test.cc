// The greeter example, an app made of a plug-in and a C bundle with the three CMake
// functions: its folder, copied elsewhere, runs as it is and its bundle reaches its plug-in.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/test_support/child_process.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"

namespace {

using ::testing::HasSubstr;

TEST(ExampleAppTest, TheGreeterAnswersFromACopyOfItsFolder) {
  const std::filesystem::path built = tervala_testing::PathFromUtf8(GREETER_EXAMPLE_APP);
  tervala_testing::ScratchFolder copy("greeter-app");
  std::filesystem::copy(built.parent_path(), copy.path() / "greeter",
                        std::filesystem::copy_options::recursive);
  tervala_testing::ScratchFolder data("greeter-data");
  tervala_testing::ChildOptions options;
  options.working_directory = data.utf8();
  options.environment = {{"TERVALA_HEADLESS", "1"}, {"TERVALA_DATA_DIR", data.utf8()}};

  const tervala_testing::ChildRun run = tervala_testing::RunChild(
      tervala_testing::PathToUtf8(copy.path() / "greeter" / built.filename()),
      {"--name=Ada", "--exit-when-done"}, options);
  EXPECT_TRUE(run.exit.ExitedWith(0)) << run.err;
  EXPECT_THAT(run.out, HasSubstr("greeting: Hello, Ada!"));
  EXPECT_THAT(run.out, HasSubstr("malformed request: error bad-request: Expected [name], a "
                                 "non-empty string."));
}

}  // namespace
