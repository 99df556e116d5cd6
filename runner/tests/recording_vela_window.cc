#include "runner/tests/recording_vela_window.h"

#include <mutex>
#include <utility>

namespace runner_test {
namespace {

std::mutex& CallsMutex() {
  static std::mutex* const mutex = new std::mutex();
  return *mutex;
}

std::vector<std::pair<HWND, UINT>>& Calls() {
  static auto* const calls = new std::vector<std::pair<HWND, UINT>>();
  return *calls;
}

}  // namespace

LRESULT RecordingVelaWindow::DefaultProcedure(HWND const window, UINT const message,
                                              WPARAM const wparam, LPARAM const lparam) noexcept {
  {
    std::lock_guard<std::mutex> lock(CallsMutex());
    Calls().emplace_back(window, message);
  }
  return VelaWindow::DefaultProcedure(window, message, wparam, lparam);
}

std::vector<UINT> DefaultProcedureMessages(HWND window) {
  std::lock_guard<std::mutex> lock(CallsMutex());
  std::vector<UINT> messages;
  for (const auto& [call_window, message] : Calls()) {
    if (call_window == window) messages.push_back(message);
  }
  return messages;
}

void ClearDefaultProcedureMessages() {
  std::lock_guard<std::mutex> lock(CallsMutex());
  Calls().clear();
}

}  // namespace runner_test
