#ifndef TERVALA_APP_DEBUG_OUTPUT_H_
#define TERVALA_APP_DEBUG_OUTPUT_H_

namespace nimbus {

// The operating system's debugger output channel. On Windows text goes to the attached
// debugger; where there is no such channel it goes to a hook that does nothing unless one
// is installed (tests install one to see what the log writes there).
void WriteDebugOutput(const char* text);

using DebugOutputHook = void (*)(const char* text, void* user_data);
// Installs the hook that receives debugger output; null removes it.
void SetDebugOutputHook(DebugOutputHook hook, void* user_data);

}  // namespace nimbus

#endif  // TERVALA_APP_DEBUG_OUTPUT_H_
