// A link seam over DefWindowProcW for the runner's tests: the test executable defines the
// function itself, notes each call, and hands it to the Win32 layer's own. It tells the
// tests which messages the window code passed on to the default procedure.
#ifndef TERVALA_RUNNER_TESTS_DEF_WINDOW_PROC_SEAM_H_
#define TERVALA_RUNNER_TESTS_DEF_WINDOW_PROC_SEAM_H_

#include <windows.h>

#include <vector>

namespace runner_test {

// The messages passed to the default procedure for `window` since the last clear, in order.
std::vector<UINT> DefaultProcedureMessages(HWND window);

// Forgets the calls noted so far.
void ClearDefaultProcedureMessages();

}  // namespace runner_test

#endif  // TERVALA_RUNNER_TESTS_DEF_WINDOW_PROC_SEAM_H_
