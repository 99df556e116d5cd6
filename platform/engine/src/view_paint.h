// Drawing a view's frame into its window when the system asks for it (WM_PAINT).
#ifndef TERVALA_PLATFORM_ENGINE_SRC_VIEW_PAINT_H_
#define TERVALA_PLATFORM_ENGINE_SRC_VIEW_PAINT_H_

#include <windows.h>

#include "platform/engine/src/view.h"

namespace vela_engine {

// Paints `frame` (may be null before the first one) into `window`'s invalid region and
// validates it. False when the platform paints views by other means (the Linux layer's
// presentation backend reads the contents itself), so WM_PAINT goes to the default.
bool PaintView(HWND window, const Frame* frame);

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_VIEW_PAINT_H_
