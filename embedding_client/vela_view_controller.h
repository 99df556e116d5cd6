#ifndef TERVALA_EMBEDDING_CLIENT_VELA_VIEW_CONTROLLER_H_
#define TERVALA_EMBEDDING_CLIENT_VELA_VIEW_CONTROLLER_H_

// Creates an engine and a view of a given size for it, and owns both.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "embedding_client/engine_project.h"
#include "embedding_client/vela_engine.h"
#include "embedding_client/vela_view.h"
#include "vela_windows.h"

namespace vela {

// The engine with its view. Destroying it ends the view and the engine. Used on the UI
// thread.
class VelaViewController {
 public:
  // Creates the engine for `project` and a view of `width` x `height` physical pixels.
  // When the engine library refuses the view controller, a message goes to standard
  // error and the object has an engine object but no view.
  VelaViewController(int32_t width, int32_t height, const EngineProject& project);
  virtual ~VelaViewController();
  VelaViewController(const VelaViewController&) = delete;
  VelaViewController& operator=(const VelaViewController&) = delete;

  // Offers a message of the top-level window to the engine; the engine's result when it
  // consumed the message, otherwise empty.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND window, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

  // Asks the engine for a new frame.
  void ForceRedraw();

  // The engine object (present after construction, even when it has no engine).
  VelaEngine* engine() const { return engine_.get(); }

  // The view, or null when the view controller could not be created.
  VelaView* view() const { return view_.get(); }

 private:
  VelaDesktopViewController controller_ = nullptr;
  std::shared_ptr<VelaEngine> engine_;
  std::unique_ptr<VelaView> view_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_VELA_VIEW_CONTROLLER_H_
