// A VelaWindow for the runner's tests that notes each message its window code passes on to
// the default procedure (DefWindowProcW) before passing it on: it tells the tests which
// messages the window and the engine left to the system.
#ifndef TERVALA_RUNNER_TESTS_RECORDING_VELA_WINDOW_H_
#define TERVALA_RUNNER_TESTS_RECORDING_VELA_WINDOW_H_

#include <windows.h>

#include <vector>

#include "runner/vela_window.h"

namespace runner_test {

class RecordingVelaWindow : public VelaWindow {
 public:
  using VelaWindow::VelaWindow;

 protected:
  LRESULT DefaultProcedure(HWND const window, UINT const message, WPARAM const wparam,
                           LPARAM const lparam) noexcept override;
};

// The messages passed to the default procedure for `window` since the last clear, in order.
std::vector<UINT> DefaultProcedureMessages(HWND window);

// Forgets the calls noted so far.
void ClearDefaultProcedureMessages();

}  // namespace runner_test

#endif  // TERVALA_RUNNER_TESTS_RECORDING_VELA_WINDOW_H_
