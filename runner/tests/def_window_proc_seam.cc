#include "runner/tests/def_window_proc_seam.h"

#include <dlfcn.h>

#include <mutex>
#include <utility>

namespace runner_test {
namespace {

using DefWindowProcFunction = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

std::mutex& CallsMutex() {
  static std::mutex* const mutex = new std::mutex();
  return *mutex;
}

std::vector<std::pair<HWND, UINT>>& Calls() {
  static auto* const calls = new std::vector<std::pair<HWND, UINT>>();
  return *calls;
}

}  // namespace

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

extern "C" LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  static const auto layer_procedure =
      reinterpret_cast<runner_test::DefWindowProcFunction>(dlsym(RTLD_NEXT, "DefWindowProcW"));
  {
    std::lock_guard<std::mutex> lock(runner_test::CallsMutex());
    runner_test::Calls().emplace_back(window, message);
  }
  return layer_procedure(window, message, wparam, lparam);
}
