// The debugger output channel of Windows. An installed hook sees the same text, so tests
// observe what the log writes there on every platform.
#include <windows.h>

#include <mutex>

#include "app/debug_output.h"

namespace nimbus {

namespace {
std::mutex g_hook_lock;
DebugOutputHook g_hook = nullptr;
void* g_hook_user_data = nullptr;
}  // namespace

void WriteDebugOutput(const char* text) {
  OutputDebugStringA(text);
  std::lock_guard<std::mutex> guard(g_hook_lock);
  if (g_hook != nullptr) g_hook(text, g_hook_user_data);
}

void SetDebugOutputHook(DebugOutputHook hook, void* user_data) {
  std::lock_guard<std::mutex> guard(g_hook_lock);
  g_hook = hook;
  g_hook_user_data = user_data;
}

}  // namespace nimbus
