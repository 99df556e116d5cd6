// The application's top-level window: it runs the engine on the application bundle, shows
// the engine's view as its content, and appears once the engine has drawn its first frame.
#ifndef TERVALA_RUNNER_VELA_WINDOW_H_
#define TERVALA_RUNNER_VELA_WINDOW_H_

#include <windows.h>

#include <memory>

#include "embedding_client/engine_project.h"
#include "embedding_client/vela_view_controller.h"
#include "runner/win32_window.h"

// A Win32Window that hosts the engine's view. Once its native window exists it creates the
// engine and the view, registers the native plug-ins and attaches the view; the engine sees
// every window message first; the engine is torn down when the native window is destroyed.
class VelaWindow : public Win32Window {
 public:
  // Keeps its own copy of `project`, the bundle the engine is to run.
  explicit VelaWindow(const vela::EngineProject& project);
  ~VelaWindow() override;

 protected:
  LRESULT HandleMessage(HWND const window, UINT const message, WPARAM const wparam,
                        LPARAM const lparam) noexcept override;
  bool OnCreated() override;
  void OnDestroying() override;

 private:
  vela::EngineProject project_;
  // The engine and its view; null before OnCreated and after OnDestroying.
  std::unique_ptr<vela::VelaViewController> controller_;
};

#endif  // TERVALA_RUNNER_VELA_WINDOW_H_
