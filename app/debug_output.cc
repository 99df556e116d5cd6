#include "app/debug_output.h"

#include <mutex>

#include "app/debugger_channel.h"

namespace nimbus {

namespace {
std::mutex g_hook_lock;
DebugOutputHook g_hook = nullptr;
void* g_hook_user_data = nullptr;
}  // namespace

void WriteDebugOutput(const char* text) {
  WriteToDebugger(text);
  std::lock_guard<std::mutex> guard(g_hook_lock);
  if (g_hook != nullptr) g_hook(text, g_hook_user_data);
}

void SetDebugOutputHook(DebugOutputHook hook, void* user_data) {
  std::lock_guard<std::mutex> guard(g_hook_lock);
  g_hook = hook;
  g_hook_user_data = user_data;
}

}  // namespace nimbus
