// The message loop of the Win32 layer where it differs from the system's by nature: signals
// close the windows, and the idle loop's CPU time is read from the thread's own clock.
#include <windows.h>

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/win32/tests/recorder.h"

namespace win32_test {
namespace {

class MessagesPosixTest : public ::testing::Test {
 protected:
  Recorder recorder_;
};

double ThreadCpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST_F(MessagesPosixTest, AnIdleMessageLoopUsesNoCpu) {
  std::atomic<DWORD> loop_thread{0};
  std::atomic<clockid_t> loop_clock{};
  std::atomic<bool> ready{false};
  std::thread loop([&] {
    HWND window = recorder_.Create();
    clockid_t clock{};
    pthread_getcpuclockid(pthread_self(), &clock);
    loop_clock = clock;
    loop_thread = GetCurrentThreadId();
    ready = true;
    RunLoop();
    DestroyWindow(window);
  });
  while (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double before = ThreadCpuSeconds(loop_clock);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double used = ThreadCpuSeconds(loop_clock) - before;
  EXPECT_TRUE(PostThreadMessageW(loop_thread, WM_QUIT, 0, 0));
  loop.join();
  // A polling loop would burn a good part of the second; a blocked one uses next to nothing.
  EXPECT_LT(used, 0.02) << "CPU seconds used by the idle loop: " << used;
}

TEST_F(MessagesPosixTest, ATerminationSignalClosesEveryTopLevelWindowThroughTheQueue) {
  HWND shown = recorder_.Create();
  HWND hidden = recorder_.Create();
  ShowWindow(shown, SW_SHOW);
  std::atomic<int> destroyed{0};
  recorder_.OnMessage(WM_DESTROY, [&](HWND, UINT, WPARAM, LPARAM) {
    if (++destroyed == 2) PostQuitMessage(0);
    return std::optional<LRESULT>(0);
  });
  ASSERT_EQ(kill(getpid(), SIGTERM), 0);
  EXPECT_EQ(RunLoop(), 0u);
  EXPECT_EQ(recorder_.Count(WM_CLOSE, shown), 1);
  EXPECT_EQ(recorder_.Count(WM_CLOSE, hidden), 1);
  EXPECT_FALSE(IsWindow(shown));
  EXPECT_FALSE(IsWindow(hidden));
  // WM_CLOSE arrived as a posted message, dispatched by the loop on this thread.
  for (const Received& item : recorder_.All()) {
    if (item.message == WM_CLOSE) {
      EXPECT_EQ(item.thread_id, GetCurrentThreadId());
    }
  }

  // SIGINT is a close request too, unless the process was started with it ignored (as a
  // background job is), in which case it stays ignored.
  struct sigaction current {};
  sigaction(SIGINT, nullptr, &current);
  if (current.sa_handler == SIG_IGN) GTEST_SKIP() << "SIGINT is ignored in this process";
  HWND window = recorder_.Create();
  destroyed = 1;
  ASSERT_EQ(kill(getpid(), SIGINT), 0);
  EXPECT_EQ(RunLoop(), 0u);
  EXPECT_FALSE(IsWindow(window));
}
// A program that closes its window itself (its close button, a request of its own) is
// ending: a close signal that comes while it finishes its exit work finds no window and is
// dropped, instead of ending the process by the signal. Checked in a child process, whose
// close-signal state is fresh.
TEST_F(MessagesPosixTest, ACloseSignalAfterTheProgramClosedItsWindowIsDropped) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        DestroyWindow(recorder_.Create());
        kill(getpid(), SIGTERM);
        // The signal is handled on the layer's watcher thread: give it ample time to act.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace win32_test
