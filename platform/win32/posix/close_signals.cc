// SIGINT, SIGTERM and SIGHUP as the user's request to close the program: every top-level
// window gets WM_CLOSE, so the program ends the way it does when its window is closed. The
// signal handler only writes the signal number to a pipe; a watcher thread reads it and posts
// the messages, so no lock is ever taken inside the handler. Once the program is closing,
// whatever started it (a close signal, the close button, a window destroyed by the program,
// the quit message), signals that find no window left are dropped: the program is already
// ending normally, and must not be cut short in the middle of its exit work.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/win32/posix/state.h"
#include "platform/win32/posix/window_ops.h"

namespace win32_posix {
namespace {

constexpr std::array<int, 3> kCloseSignals = {SIGINT, SIGTERM, SIGHUP};

int g_pipe_read = -1;
int g_pipe_write = -1;
struct sigaction g_previous[kCloseSignals.size()];
// Set once the program began to close (any thread). From then on it is ending the normal
// way, and further close signals must not end it by the signal.
std::atomic<bool> g_closing{false};

void OnSignal(int signal_number) {
  const int saved_errno = errno;
  const auto byte = static_cast<unsigned char>(signal_number);
  ssize_t written = write(g_pipe_write, &byte, 1);
  (void)written;  // A full pipe already holds a pending close request.
  errno = saved_errno;
}

struct sigaction CloseAction() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return action;
}

// With no window to close, the signal does what it did before: usually it ends the process.
void ActAsBefore(size_t index) {
  const int signal_number = kCloseSignals[index];
  sigaction(signal_number, &g_previous[index], nullptr);
  raise(signal_number);
  struct sigaction action = CloseAction();
  sigaction(signal_number, &action, nullptr);
}

void Deliver(int signal_number) {
  std::vector<HWND> windows;
  {
    std::lock_guard<std::mutex> lock(GlobalLock());
    for (const auto& [key, window] : GetTables().windows) {
      if (window->parent == nullptr && !window->message_only) windows.push_back(window->handle);
    }
  }
  if (windows.empty()) {
    // The windows are gone because the program is closing: nothing to do.
    if (g_closing.load()) return;
    for (size_t i = 0; i < kCloseSignals.size(); ++i) {
      if (kCloseSignals[i] == signal_number) ActAsBefore(i);
    }
    return;
  }
  g_closing.store(true);
  for (HWND window : windows) PostMessageW(window, WM_CLOSE, 0, 0);
}

void Watch() {
  for (;;) {
    unsigned char byte = 0;
    const ssize_t count = read(g_pipe_read, &byte, 1);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;
    Deliver(byte);
  }
}

void Install() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  g_pipe_read = fds[0];
  g_pipe_write = fds[1];
  fcntl(g_pipe_write, F_SETFL, fcntl(g_pipe_write, F_GETFL) | O_NONBLOCK);
  std::thread(Watch).detach();
  for (size_t i = 0; i < kCloseSignals.size(); ++i) {
    sigaction(kCloseSignals[i], nullptr, &g_previous[i]);
    // A signal the process was told to ignore (nohup, a background job) stays ignored.
    if (g_previous[i].sa_handler == SIG_IGN) continue;
    struct sigaction action = CloseAction();
    sigaction(kCloseSignals[i], &action, nullptr);
  }
}

}  // namespace

void NoteClosing() { g_closing.store(true); }

void EnsureCloseSignals() {
  static std::once_flag once;
  std::call_once(once, Install);
}

}  // namespace win32_posix
