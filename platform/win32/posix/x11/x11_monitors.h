// Monitors of an X display and their DPI, as the X11 presentation backend reports them.
#ifndef TERVALA_PLATFORM_WIN32_POSIX_X11_X11_MONITORS_H_
#define TERVALA_PLATFORM_WIN32_POSIX_X11_X11_MONITORS_H_

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/posix/presentation.h"

// Xlib's display connection (<X11/Xlib.h>), declared here so that includers need not see
// Xlib's macros.
typedef struct _XDisplay Display;

namespace win32_posix {

// The desktop's chosen DPI from the "Xft.dpi" resource in `resources` (the text of the
// RESOURCE_MANAGER property); none when it is absent or not a plausible DPI.
std::optional<UINT> XftDpiFromResources(const std::string& resources);

// The DPI of a monitor from its size in pixels and millimetres, rounded to the nearest step of
// 24 (25 % scaling steps, as desktops offer them); 96 when the size in millimetres is unknown.
UINT PhysicalDpi(int width_pixels, int width_millimetres);

// The monitors of `display` (RandR monitors, else the whole screen), each with the Xft.dpi of
// the desktop when it is set, else its physical DPI.
std::vector<MonitorDescription> QueryMonitors(Display* display);

}  // namespace win32_posix

#endif  // TERVALA_PLATFORM_WIN32_POSIX_X11_X11_MONITORS_H_
