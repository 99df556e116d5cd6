// The real tervala_app, started headless with a bundle of the tests' choice.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/test_support/paths.h"
#include "runner/host_options.h"
#include "runner/tests/runner_test_support.h"
#include "tervala_version.h"

namespace {

using runner_test::AppFolder;
using runner_test::AppLibrary;
using runner_test::AppProcess;
using ::testing::HasSubstr;
using ::testing::Not;

// The position of the first event starting with `prefix`, or the number of events.
size_t Position(const std::vector<std::string>& events, const std::string& prefix) {
  return static_cast<size_t>(
      std::find_if(events.begin(), events.end(),
                   [&](const std::string& event) { return event.rfind(prefix, 0) == 0; }) -
      events.begin());
}

// The entry-point arguments the bundle received, from a run that is closed once they came.
// The copy of the program goes with its folder.
std::optional<std::string> EntryArguments(const std::vector<std::string>& arguments) {
  std::optional<std::string> entry;
  std::filesystem::path copy;
  {
    AppFolder folder(AppLibrary::kTestBundle);
    copy = tervala_testing::PathFromUtf8(folder.path());
    AppProcess app(folder.executable(), arguments);
    EXPECT_TRUE(app.started());
    entry = app.WaitForEvent("entry");
    app.RequestClose();
    EXPECT_EQ(app.WaitForExit(), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(copy)) << tervala_testing::PathToUtf8(copy);
  return entry;
}

TEST(EntryTest, ShowsTheWindowWithTheFirstFrameAndEndsWithZeroOnACloseRequest) {
  AppFolder folder(AppLibrary::kTestBundle);
  AppProcess app(folder.executable(), {});
  ASSERT_TRUE(app.started());

  // Created hidden: the window is first shown after the bundle drew its first frame, at the
  // logical origin and size of the default 96-DPI monitor.
  EXPECT_EQ(app.WaitForEvent("shown"), "shown Tervala 10,10 1280x720");
  const std::vector<std::string> events = app.events();
  EXPECT_EQ(Position(events, "entry"), 0u);
  // The first frame (of the client area's size, which the window frame makes smaller than
  // the window on Windows) comes before the window is shown.
  EXPECT_LT(Position(events, "frame "), Position(events, "shown"));

  // The system's font change reaches the engine.
  EXPECT_TRUE(app.WaitForEvent("fonts").has_value());

  // The close request ends the program normally, and the engine shuts down on the way.
  app.RequestClose();
  EXPECT_EQ(app.WaitForExit(), 0);
  EXPECT_EQ(app.events().back(), "shutdown");
  EXPECT_EQ(app.StandardError(), "");
}

TEST(EntryTest, ArgumentsReachTheBundleAsUtf8InOrder) {
  EXPECT_EQ(EntryArguments({}), "entry 0");
  EXPECT_EQ(EntryArguments({"a", "b"}), "entry 2 [61] [62]");
  // An empty argument keeps its position; non-ASCII text arrives as UTF-8.
  EXPECT_EQ(EntryArguments({"a", "", "b"}), "entry 3 [61] [] [62]");
  EXPECT_EQ(EntryArguments({"gr\xc3\xbc\xc3\x9f", "\xe2\x98\x83\xf0\x9f\x98\x80"}),
            "entry 2 [6772c3bcc39f] [e29883f09f9880]");
}

// A further cloud plug-in in a library of its own, loaded into the running program, joins
// the core plug-in through the executable's exported entry point: its constants appear in
// the description of a new app.
TEST(EntryTest, AFurtherPluginLibraryJoinsTheCorePlugin) {
  AppFolder folder(AppLibrary::kTestBundle);
  AppProcess app(
      folder.executable(), {},
      {{"RUNNER_TEST_FURTHER_PLUGIN", runner_test::BuiltFile(RUNNER_TEST_FURTHER_PLUGIN_NAME)}});
  ASSERT_TRUE(app.started());
  EXPECT_EQ(app.WaitForEvent("further plugin"), "further plugin loaded");
  EXPECT_EQ(app.WaitForEvent("further constants"), "further constants for extra");
  const std::optional<std::string> reply = app.WaitForEvent("initializeApp reply");
  ASSERT_TRUE(reply.has_value());
  // The description's plug-in constants: {"further": {}}.
  EXPECT_THAT(*reply, HasSubstr("0d01070766757274686572"
                                "0d00"));
  app.RequestClose();
  EXPECT_EQ(app.WaitForExit(), 0);
}

TEST(EntryTest, WithoutAUsableBundleEndsWithOne) {
  for (AppLibrary library : {AppLibrary::kMissing, AppLibrary::kBroken}) {
    SCOPED_TRACE(library == AppLibrary::kMissing ? "missing app.so" : "broken app.so");
    AppFolder folder(library);
    AppProcess app(folder.executable(), {});
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.WaitForExit(), 1);
    EXPECT_THAT(app.StandardError(), HasSubstr("Failed to create view controller.\n"));
    EXPECT_TRUE(app.events().empty());
  }
}

TEST(EntryTest, TheBuiltProgramRunsItsOwnBundle) {
  // The build lays out data/ beside the executable, with the minimal application in it.
  AppProcess app(runner_test::BuiltFile(TERVALA_APP_NAME), {});
  ASSERT_TRUE(app.started());
  // The view is the window's client area: the whole 1280 x 720 window over the Win32 layer,
  // less the window's frame on Windows.
  const std::optional<std::string> running = app.WaitForOutput("Tervala is running");
  ASSERT_TRUE(running.has_value());
  EXPECT_THAT(*running, ::testing::StartsWith("Tervala is running (view of "));
  EXPECT_THAT(*running, ::testing::EndsWith(" pixels). Close the window or press Ctrl+C to quit."));
  app.RequestClose();
  EXPECT_EQ(app.WaitForExit(), 0);
  EXPECT_EQ(app.StandardError(), "");
}

TEST(EntryTest, VersionAndHelpAreTheHostsOwnAndEndTheProgram) {
  const std::string program = runner_test::BuiltFile(TERVALA_APP_NAME);
  AppProcess version(program, {"--version"});
  EXPECT_EQ(version.WaitForOutput("tervala_app"), "tervala_app " TERVALA_VERSION_TEXT);
  EXPECT_EQ(version.WaitForExit(), 0);

  // --help wins wherever it stands; the help names the sample application's options.
  AppProcess help(program, {"--exit-when-ready", "--version", "--help"});
  EXPECT_EQ(help.WaitForOutput("usage:"),
            "usage: tervala_app [--help | --version | APPLICATION ARGUMENTS...]");
  EXPECT_TRUE(help.WaitForOutput("  --exit-when-ready").has_value());
  EXPECT_EQ(help.WaitForExit(), 0);
  EXPECT_EQ(help.StandardError(), "");

  // Anything else, however close, is the application's.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"-h"}, {"--versions"}, {"--api-key=--help"}, {"help"}}) {
    EXPECT_EQ(HostActionFor(arguments), HostAction::kRun) << ::testing::PrintToString(arguments);
  }
}

}  // namespace
