// tervala_app started from a console: a Windows GUI program has no console of its own and
// attaches to the one it was started from, where its log lines and errors must show.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/test_support/child_process.h"
#include "platform/test_support/environment.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"
#include "runner/tests/runner_test_support.h"

namespace {

using ::testing::HasSubstr;

// Set in the child that owns the console: how to start the program, its command line, the
// folder it runs in, and the file that receives what the console shows.
constexpr char kStartVariable[] = "RUNNER_TEST_CONSOLE_START";
constexpr char kCommandVariable[] = "RUNNER_TEST_CONSOLE_COMMAND";
constexpr char kFolderVariable[] = "RUNNER_TEST_CONSOLE_FOLDER";
constexpr char kReportVariable[] = "RUNNER_TEST_CONSOLE_REPORT";

// The text of the console's screen buffer, one line per row, trailing blanks dropped.
std::string ConsoleText() {
  const HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return "(no console)";
  CONSOLE_SCREEN_BUFFER_INFO info{};
  std::string text;
  if (GetConsoleScreenBufferInfo(console, &info)) {
    std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
      DWORD read = 0;
      ReadConsoleOutputCharacterW(console, row.data(), static_cast<DWORD>(row.size()), {0, y},
                                  &read);
      std::wstring line = row.substr(0, read);
      line.erase(line.find_last_not_of(L' ') + 1);
      for (wchar_t c : line) text += c < 0x80 ? static_cast<char>(c) : '?';
      text += '\n';
    }
  }
  CloseHandle(console);
  return text;
}

// In the child: makes a console of its own, starts the program from it and waits for it to
// end, then reports what the console shows.
void ShowInANewConsole(const std::string& start) {
  const std::wstring command =
      runner_test::Wide(*tervala_testing::EnvironmentValue(kCommandVariable));
  const std::wstring folder =
      runner_test::Wide(*tervala_testing::EnvironmentValue(kFolderVariable));
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  // The console's own handles are the standard ones, as in a console window (this process
  // was given files).
  const auto open = [](const wchar_t* name) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, OPEN_EXISTING, 0, nullptr);
  };
  SetStdHandle(STD_INPUT_HANDLE, open(L"CONIN$"));
  SetStdHandle(STD_OUTPUT_HANDLE, open(L"CONOUT$"));
  SetStdHandle(STD_ERROR_HANDLE, open(L"CONOUT$"));
  std::wstring command_line;
  DWORD flags = 0;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (start == "cmd") {
    // As typed at the prompt (cmd takes the outer quotes off).
    command_line = L"cmd.exe /c \"" + command + L"\"";
  } else {
    // As Windows starts a GUI program from a console: without a console of its own and
    // without standard handles. (Wine, unlike Windows, attaches a GUI program that cmd
    // starts to cmd's console and gives it the console's handles.)
    command_line = command;
    flags = DETACHED_PROCESS;
    startup.dwFlags = STARTF_USESTDHANDLES;
  }
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                             folder.c_str(), &startup, &process));
  WaitForSingleObject(process.hProcess, 60000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  tervala_testing::WriteWholeFile(*tervala_testing::EnvironmentValue(kReportVariable),
                                  ConsoleText());
}

// What the console shows after `command` ran from it in `folder`, started as `start` says.
std::string ConsoleAfter(const std::string& start, const std::string& command,
                         const tervala_testing::ScratchFolder& folder) {
  const std::string report = folder.Join("console.txt");
  const tervala_testing::ChildRun run =
      tervala_testing::RunTestInChild("EntryConsoleTest.*",
                                      {{kStartVariable, start},
                                       {kCommandVariable, command},
                                       {kFolderVariable, folder.utf8()},
                                       {kReportVariable, report},
                                       {"TERVALA_MONITORS", ""},
                                       {"TERVALA_DATA_DIR", folder.Join("app-data")}},
                                      std::chrono::seconds(120));
  EXPECT_TRUE(run.exit.ExitedWith(0)) << run.out << run.err;
  return tervala_testing::ReadWholeFile(report).value_or("(no report)");
}

TEST(EntryConsoleTest, StartedFromAConsoleTheProgramWritesToIt) {
  if (const auto start = tervala_testing::EnvironmentValue(kStartVariable)) {
    ShowInANewConsole(*start);
    return;
  }
  tervala_testing::ScratchFolder folder("runner_console");
  // Without its bundle the program ends at once with the error on standard error.
  runner_test::AppFolder missing(runner_test::AppLibrary::kMissing);
  // The built program with its sample application, in a folder without a config file: the
  // log says why no app was made, and the sample says what it did.
  const std::string sample =
      "\"" + runner_test::BuiltFile(TERVALA_APP_NAME) + "\" --exit-when-ready";
  for (const char* start : {"cmd", "gui"}) {
    SCOPED_TRACE(start);
    EXPECT_THAT(ConsoleAfter(start, "\"" + missing.executable() + "\"", folder),
                HasSubstr("Failed to create view controller."));
    const std::string shown = ConsoleAfter(start, sample, folder);
    EXPECT_THAT(shown, HasSubstr("ERROR: App ID, API key, and Project ID must be specified"));
    EXPECT_THAT(shown, HasSubstr("Tervala sample: core initialised"));
  }
}

}  // namespace
