// tervala_app and the close signals of POSIX systems, which the Win32 layer turns into the
// user's close request.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "runner/tests/runner_test_support.h"

namespace {

using runner_test::AppFolder;
using runner_test::AppLibrary;
using runner_test::AppProcess;

// Close signals keep coming while the program closes, after its window is gone: the first
// closes it, the others change nothing and it still ends with 0.
TEST(EntryPosixTest, ABurstOfCloseSignalsEndsTheProgramNormally) {
  AppFolder folder(AppLibrary::kTestBundle);
  AppProcess app(folder.executable(), {});
  ASSERT_TRUE(app.started());
  ASSERT_TRUE(app.WaitForEvent("shown").has_value());
  const pid_t pid = static_cast<pid_t>(app.process_id());
  const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int sent = 0;
  for (;;) {
    // Until it has exited (a zombie keeps its pid, so no other process is signalled).
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        info.si_pid != 0 || std::chrono::steady_clock::now() > deadline) {
      break;
    }
    kill(pid, kSignals[sent++ % 3]);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  EXPECT_GT(sent, 1);
  EXPECT_EQ(app.WaitForExit(), 0) << sent << " signals";
}

// An argument that is not valid UTF-8 does not convert: it arrives as an empty string in its
// position, whether the bad bytes are stray, truncated or overlong. (A Windows command line
// is UTF-16 and cannot carry such bytes.)
TEST(EntryPosixTest, ArgumentsThatAreNotUtf8ArriveEmpty) {
  AppFolder folder(AppLibrary::kTestBundle);
  AppProcess app(folder.executable(), {"a", "b\xff", "\xe2\x98", "\xc0\xaf", "c"});
  ASSERT_TRUE(app.started());
  EXPECT_EQ(app.WaitForEvent("entry"), "entry 5 [61] [] [] [] [63]");
  app.RequestClose();
  EXPECT_EQ(app.WaitForExit(), 0);
}

// Ctrl+C in the terminal the built program runs in ends it normally.
TEST(EntryPosixTest, SigintEndsTheBuiltProgramWithZero) {
  AppProcess app(runner_test::BuiltFile(TERVALA_APP_NAME), {});
  ASSERT_TRUE(app.started());
  ASSERT_TRUE(app.WaitForOutput("Tervala is running").has_value());
  kill(static_cast<pid_t>(app.process_id()), SIGINT);
  EXPECT_EQ(app.WaitForExit(), 0);
  EXPECT_EQ(app.StandardError(), "");
}

}  // namespace
