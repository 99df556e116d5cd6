// Per-monitor DPI.
#ifndef TERVALA_WIN32_SHELLSCALINGAPI_H_
#define TERVALA_WIN32_SHELLSCALINGAPI_H_

#include "windows.h"

typedef enum MONITOR_DPI_TYPE {
  MDT_EFFECTIVE_DPI = 0,
  MDT_ANGULAR_DPI = 1,
  MDT_RAW_DPI = 2,
  MDT_DEFAULT = MDT_EFFECTIVE_DPI,
} MONITOR_DPI_TYPE;

WIN32_EXTERN_C_BEGIN

// The monitor's DPI (the same on both axes); E_INVALIDARG for an unknown monitor or null
// outputs.
HRESULT WINAPI GetDpiForMonitor(HMONITOR monitor, MONITOR_DPI_TYPE dpi_type, UINT* dpi_x,
                                UINT* dpi_y);

WIN32_EXTERN_C_END

#endif  // TERVALA_WIN32_SHELLSCALINGAPI_H_
