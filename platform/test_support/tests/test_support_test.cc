#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "platform/test_support/child_process.h"
#include "platform/test_support/environment.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"

namespace tervala_testing {
namespace {

constexpr char kRole[] = "TERVALA_TEST_SUPPORT_CHILD";

// What the child run of this program does, chosen by the parent through kRole.
TEST(ChildSide, Act) {
  const std::optional<std::string> role = EnvironmentValue(kRole);
  if (!role) GTEST_SKIP() << "runs only as a child of the tests below";
  if (*role == "report") {
    std::string input;
    std::getline(std::cin, input);
    std::cout << "cwd=" << PathToUtf8(std::filesystem::current_path()) << "\n"
              << "input=" << input << "\n"
              << "value=" << EnvironmentValue("TERVALA_TEST_VALUE").value_or("(unset)")
              << std::endl;
    std::cerr << "to stderr" << std::endl;
    std::exit(7);
  }
  if (*role == "hang") std::this_thread::sleep_for(std::chrono::minutes(5));
}

TEST(ChildProcessTest, PassesEnvironmentInputAndFolderAndReportsExitAndOutput) {
  ScratchFolder work("tervala-äöü");
  ScopedEnvironmentVariable inherited("TERVALA_TEST_VALUE", "from the parent");
  ChildOptions options;
  options.environment = {{kRole, "report"}, {"TERVALA_TEST_VALUE", "ünïcødé 日本"}};
  options.working_directory = work.utf8();
  options.standard_input = "line one\n";
  ChildRun run =
      RunChild(PathToUtf8(CurrentExecutable()), {"--gtest_filter=ChildSide.Act"}, options);
  EXPECT_TRUE(run.exit.ExitedWith(7)) << run.err;
  std::erase(run.out, '\r');  // Windows writes text lines with CR LF
  EXPECT_NE(run.out.find("cwd=" + work.utf8() + "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("input=line one\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("value=ünïcødé 日本\n"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("to stderr"), std::string::npos);

  // An empty value removes an inherited variable.
  ChildRun without =
      RunTestInChild("ChildSide.Act", {{kRole, "report"}, {"TERVALA_TEST_VALUE", ""}});
  std::erase(without.out, '\r');
  EXPECT_NE(without.out.find("value=(unset)\n"), std::string::npos) << without.out;
  EXPECT_EQ(EnvironmentValue("TERVALA_TEST_VALUE"), "from the parent");
}

TEST(ChildProcessTest, OverstayingAndKilledChildrenEndAndMissingProgramsAreReported) {
  const auto started = std::chrono::steady_clock::now();
  const ChildRun late =
      RunTestInChild("ChildSide.Act", {{kRole, "hang"}}, std::chrono::milliseconds(300));
  EXPECT_FALSE(late.exit.finished);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));

  ChildOptions hang;
  hang.environment = {{kRole, "hang"}};
  ChildProcess child(PathToUtf8(CurrentExecutable()), {"--gtest_filter=ChildSide.Act"}, hang);
  ASSERT_TRUE(child.started());
  EXPECT_TRUE(child.Running());
  child.Kill();
  EXPECT_FALSE(child.Running());
  EXPECT_TRUE(child.Wait().finished);
  EXPECT_FALSE(child.Wait().ExitedWith(0));

  ScratchFolder folder;
  ChildProcess missing(folder.Join("no-such-program"), {});
  EXPECT_FALSE(missing.started());
  EXPECT_NE(missing.start_error().find("no-such-program"), std::string::npos);
}

TEST(ScratchFolderTest, IsFreshAndRemovedWithItsContent) {
  std::filesystem::path kept;
  {
    ScratchFolder first, second;
    EXPECT_NE(first.path(), second.path());
    EXPECT_TRUE(FolderEntries(first.utf8()).empty());
    std::filesystem::create_directories(PathFromUtf8(first.Join("a/b")));
    ASSERT_TRUE(WriteWholeFile(first.Join("a/b/файл"), std::string("x\0y\r\n", 5)));
    EXPECT_EQ(ReadWholeFile(first.Join("a/b/файл")), std::string("x\0y\r\n", 5));
    std::filesystem::permissions(PathFromUtf8(first.Join("a/b/файл")),
                                 std::filesystem::perms::owner_read);
    EXPECT_EQ(FolderEntries(first.Join("a")), std::vector<std::string>{"b"});
    kept = first.path();
  }
  EXPECT_FALSE(std::filesystem::exists(kept));
  EXPECT_EQ(ReadWholeFile(PathToUtf8(kept / "a")), std::nullopt);
}

}  // namespace
}  // namespace tervala_testing
