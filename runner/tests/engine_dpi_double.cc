// A test double of the engine library's DPI query: the monitor's DPI from the Win32 layer,
// 0 for an unknown monitor.
#include <shellscalingapi.h>

#include "runner/engine_dpi.h"

extern "C" UINT VelaDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y))) return 0;
  return dpi_x;
}
