#ifndef TERVALA_EMBEDDING_CLIENT_VELA_VIEW_H_
#define TERVALA_EMBEDDING_CLIENT_VELA_VIEW_H_

// The engine's view: the native window the engine draws into.

#include <windows.h>

#include "vela_windows.h"

namespace vela {

// A view handle of the engine library. It does not own the view; the view controller
// destroys it.
class VelaView {
 public:
  explicit VelaView(VelaDesktopView view);
  virtual ~VelaView();
  VelaView(const VelaView&) = delete;
  VelaView& operator=(const VelaView&) = delete;

  // The view's window.
  HWND NativeWindow() const;

 private:
  VelaDesktopView view_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_VELA_VIEW_H_
