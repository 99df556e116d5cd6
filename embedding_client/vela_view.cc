#include "embedding_client/vela_view.h"

namespace vela {

VelaView::VelaView(VelaDesktopView view) : view_(view) {}

VelaView::~VelaView() = default;

HWND VelaView::NativeWindow() const { return VelaDesktopViewGetHWND(view_); }

}  // namespace vela
