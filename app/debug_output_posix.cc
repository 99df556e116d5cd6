#include "app/debugger_channel.h"

namespace nimbus {

// POSIX systems have no debugger output channel; the hook alone sees the text.
void WriteToDebugger(const char*) {}

}  // namespace nimbus
