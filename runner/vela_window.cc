#include "runner/vela_window.h"

#include <optional>
#include <utility>

#include "runner/exit_code_channel.h"
#include "runner/plugin_registrant.h"

VelaWindow::VelaWindow(const vela::EngineProject& project) : project_(project) {}

VelaWindow::~VelaWindow() {
  // Destroyed here, while this object is still a VelaWindow: messages that the view's
  // destruction sends to a native window that still exists find no controller half gone.
  controller_.reset();
}

bool VelaWindow::OnCreated() {
  if (!Win32Window::OnCreated()) return false;

  // The window was created at the monitor's scale, so the client area is in physical pixels.
  const RECT frame = ClientArea();
  controller_ = std::make_unique<vela::VelaViewController>(frame.right - frame.left,
                                                           frame.bottom - frame.top, project_);
  if (controller_->engine() == nullptr || controller_->view() == nullptr) return false;

  RegisterAllPlugins(controller_->engine());
  InstallExitCodeChannel(&controller_->engine()->messenger());
  AttachChildWindow(controller_->view()->NativeWindow());

  // The window stays hidden until there is something to see; the forced redraw makes sure
  // a frame follows the callback.
  controller_->engine()->SetNextFrameCallback([this]() { Show(); });
  controller_->ForceRedraw();
  return true;
}

void VelaWindow::OnDestroying() {
  if (controller_) {
    // Cleared before the controller goes, so that messages arriving meanwhile are handled
    // without the engine.
    std::unique_ptr<vela::VelaViewController> controller = std::move(controller_);
    controller.reset();
  }
  Win32Window::OnDestroying();
}

LRESULT VelaWindow::HandleMessage(HWND const window, UINT const message, WPARAM const wparam,
                                  LPARAM const lparam) noexcept {
  // The engine has the first say; a message it consumes goes no further.
  if (controller_) {
    std::optional<LRESULT> result =
        controller_->HandleTopLevelWindowProc(window, message, wparam, lparam);
    if (result) return *result;
  }

  if (message == WM_FONTCHANGE && controller_) controller_->engine()->ReloadSystemFonts();

  return Win32Window::HandleMessage(window, message, wparam, lparam);
}
