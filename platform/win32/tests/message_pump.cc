#include "platform/win32/tests/message_pump.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace win32_testing {
namespace {

// The loop behind the three helpers: true when `done` held, or when WM_QUIT came and
// `quit_code` asked for it.
bool Pump(const std::function<bool()>& done, int* quit_code, std::chrono::milliseconds timeout) {
  if (done()) return true;
  std::mutex mutex;
  std::condition_variable finished_signal;
  bool finished = false;
  bool timed_out = false;
  const DWORD thread_id = GetCurrentThreadId();
  // Wakes the loop once, should the condition never come.
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (!finished_signal.wait_for(lock, timeout, [&] { return finished; })) {
      timed_out = true;
      PostThreadMessageW(thread_id, WM_NULL, 0, 0);
    }
  });
  bool result = false;
  for (;;) {
    if (done()) {
      result = true;
      break;
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (timed_out) break;
    }
    MSG msg{};
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      if (quit_code != nullptr) *quit_code = static_cast<int>(msg.wParam);
      result = quit_code != nullptr || done();
      break;
    }
    if (got < 0) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
  }
  finished_signal.notify_all();
  watchdog.join();
  return result;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  return Pump(done, nullptr, timeout);
}

bool PumpUntilQuit(int* quit_code, std::chrono::milliseconds timeout) {
  return Pump([] { return false; }, quit_code, timeout);
}

void PumpFor(std::chrono::milliseconds duration) {
  Pump([] { return false; }, nullptr, duration);
}

}  // namespace win32_testing
