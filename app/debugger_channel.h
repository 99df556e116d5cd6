// The platform's part of the debugger output: hands text to an attached debugger.
#ifndef TERVALA_APP_DEBUGGER_CHANNEL_H_
#define TERVALA_APP_DEBUGGER_CHANNEL_H_

namespace nimbus {

// Passes `text` to the system's debugger channel; does nothing where there is none.
void WriteToDebugger(const char* text);

}  // namespace nimbus

#endif  // TERVALA_APP_DEBUGGER_CHANNEL_H_
