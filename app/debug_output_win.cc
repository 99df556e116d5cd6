#include <windows.h>

#include "app/debugger_channel.h"

namespace nimbus {

void WriteToDebugger(const char* text) { OutputDebugStringA(text); }

}  // namespace nimbus
