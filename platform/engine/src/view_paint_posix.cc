#include "platform/engine/src/view_paint.h"

namespace vela_engine {

// The Win32 layer's presentation backend draws views from their contents directly.
bool PaintView(HWND, const Frame*) { return false; }

}  // namespace vela_engine
