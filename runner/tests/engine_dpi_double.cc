// A test double of the engine library's DPI query: the monitor's DPI from the Win32 layer,
// 0 for an unknown monitor, or the DPI a test sets.
#include "runner/tests/engine_dpi_double.h"

#include <shellscalingapi.h>

#include "runner/engine_dpi.h"

int g_engine_dpi_override = -1;

extern "C" UINT VelaDesktopGetDpiForMonitor(HMONITOR monitor) {
  if (g_engine_dpi_override >= 0) return static_cast<UINT>(g_engine_dpi_override);
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y))) return 0;
  return dpi_x;
}
