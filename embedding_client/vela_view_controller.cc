#include "embedding_client/vela_view_controller.h"

#include "embedding_client/error_line.h"

namespace vela {

VelaViewController::VelaViewController(int32_t width, int32_t height, const EngineProject& project)
    : engine_(std::make_shared<VelaEngine>(project)) {
  controller_ = VelaDesktopViewControllerCreate(width, height, engine_->ReleaseEngineHandle());
  if (controller_ == nullptr) {
    internal::WriteErrorLine("Failed to create view controller.");
    return;
  }
  view_ = std::make_unique<VelaView>(VelaDesktopViewControllerGetView(controller_));
}

VelaViewController::~VelaViewController() {
  // Ends the view and the engine; the engine reports its registrars' destruction here.
  if (controller_ != nullptr) VelaDesktopViewControllerDestroy(controller_);
  controller_ = nullptr;
  view_.reset();
  engine_.reset();
}

std::optional<LRESULT> VelaViewController::HandleTopLevelWindowProc(HWND window, UINT message,
                                                                    WPARAM wparam, LPARAM lparam) {
  if (controller_ == nullptr) return std::nullopt;
  LRESULT result = 0;
  if (VelaDesktopViewControllerHandleTopLevelWindowProc(controller_, window, message, wparam,
                                                        lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

void VelaViewController::ForceRedraw() {
  if (controller_ != nullptr) VelaDesktopViewControllerForceRedraw(controller_);
}

}  // namespace vela
