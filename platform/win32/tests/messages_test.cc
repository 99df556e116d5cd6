#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/win32/tests/recorder.h"

namespace win32_test {
namespace {

constexpr UINT kPing = WM_APP + 1;

class MessagesTest : public ::testing::Test {
 protected:
  Recorder recorder_;
};

TEST_F(MessagesTest, SentMessagesRunAtOncePostedOnesWhenDispatched) {
  HWND window = recorder_.Create();
  recorder_.Clear();
  recorder_.OnMessage(kPing, [](HWND, UINT, WPARAM wparam, LPARAM) {
    return std::optional<LRESULT>(static_cast<LRESULT>(wparam * 2));
  });
  EXPECT_EQ(SendMessageW(window, kPing, 21, 0), 42);
  EXPECT_EQ(recorder_.Count(kPing), 1);

  EXPECT_TRUE(PostMessageW(window, kPing, 1, 0));
  EXPECT_TRUE(PostMessageW(window, kPing + 1, 2, 0));
  EXPECT_EQ(recorder_.Count(kPing), 1);  // Not before it is dispatched.

  MSG msg{};
  // A range filter takes the later message first; the other stays queued.
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, kPing + 1, kPing + 1, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageW(&msg, window, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.message, kPing);
  DispatchMessageW(&msg);
  EXPECT_EQ(recorder_.Count(kPing), 2);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  DestroyWindow(window);
}

TEST_F(MessagesTest, QuitComesAfterThePostedMessagesAndMessagesForDeadWindowsGo) {
  HWND window = recorder_.Create();
  HWND doomed = recorder_.Create();
  PostQuitMessage(7);
  PostMessageW(window, kPing, 0, 0);
  PostMessageW(doomed, kPing, 0, 0);
  PostThreadMessageW(GetCurrentThreadId(), kPing, 5, 0);
  DestroyWindow(doomed);
  recorder_.Clear();
  MSG msg{};
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.hwnd, window);
  ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.hwnd, nullptr);  // The thread message.
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(GetMessageW(&msg, reinterpret_cast<HWND>(0x7), 0, 0), -1);
  EXPECT_FALSE(PostMessageW(doomed, kPing, 0, 0));
  EXPECT_FALSE(PostMessageW(window, WM_SETTEXT, 0, 0));  // Pointers cannot be posted.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
  DestroyWindow(window);
}

TEST_F(MessagesTest, APostFromAnotherThreadWakesGetMessage) {
  HWND window = recorder_.Create();
  recorder_.OnMessage(kPing, [](HWND, UINT, WPARAM, LPARAM) {
    PostQuitMessage(3);
    return std::optional<LRESULT>(0);
  });
  std::thread poster([window] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PostMessageW(window, kPing, 0, 0);
  });
  EXPECT_EQ(RunLoop(), 3u);
  poster.join();
  // The window procedure ran on the window's own thread.
  for (const Received& item : recorder_.All()) {
    if (item.message == kPing) {
      EXPECT_EQ(item.thread_id, GetCurrentThreadId());
    }
  }
  DestroyWindow(window);
}

TEST_F(MessagesTest, SendingFromAnotherThreadRunsOnTheOwnerThreadAndWaits) {
  HWND window = recorder_.Create();
  recorder_.OnMessage(kPing, [](HWND, UINT, WPARAM wparam, LPARAM) {
    return std::optional<LRESULT>(static_cast<LRESULT>(wparam + 1));
  });
  std::atomic<LRESULT> result{0};
  std::thread sender([&] {
    result = SendMessageW(window, kPing, 41, 0);
    // Moving the window from here also happens on its own thread.
    MoveWindow(window, 0, 0, 300, 200, TRUE);
    PostMessageW(window, WM_CLOSE, 0, 0);
  });
  recorder_.OnMessage(WM_DESTROY, [](HWND, UINT, WPARAM, LPARAM) {
    PostQuitMessage(0);
    return std::optional<LRESULT>(0);
  });
  RunLoop();
  sender.join();
  EXPECT_EQ(result.load(), 42);
  for (const Received& item : recorder_.All()) {
    EXPECT_EQ(item.thread_id, GetCurrentThreadId()) << "message " << item.message;
  }
  EXPECT_EQ(recorder_.Count(WM_SIZE), 2);  // At creation and after the move.
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(MessagesTest, TwoThreadsSendingToEachOtherDoNotDeadlock) {
  HWND here = recorder_.Create();
  std::atomic<HWND> there{nullptr};
  std::atomic<LRESULT> answer{0};
  // The other thread's window answers by asking this thread's window, while this thread is
  // itself waiting in SendMessageW for the other thread.
  recorder_.OnMessage(kPing, [&](HWND window, UINT, WPARAM wparam, LPARAM) {
    if (window == there.load()) {
      return std::optional<LRESULT>(SendMessageW(here, kPing, wparam + 1, 0) + 1);
    }
    return std::optional<LRESULT>(static_cast<LRESULT>(wparam * 10));
  });
  std::atomic<bool> done{false};
  std::thread other([&] {
    there = recorder_.Create();
    MSG msg{};
    while (!done) {
      if (GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
      DispatchMessageW(&msg);
    }
    DestroyWindow(there);
  });
  while (there.load() == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  answer = SendMessageW(there, kPing, 1, 0);
  EXPECT_EQ(answer.load(), 21);  // (1 + 1) * 10 + 1
  done = true;
  PostMessageW(there, WM_NULL, 0, 0);
  other.join();
  DestroyWindow(here);
}

TEST_F(MessagesTest, AWindowOfAnEndedThreadIsGoneAndSendingToItReturns) {
  HWND window = nullptr;
  std::thread owner([&] { window = recorder_.Create(); });
  owner.join();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(SendMessageW(window, kPing, 0, 0), 0);
}

}  // namespace
}  // namespace win32_test
