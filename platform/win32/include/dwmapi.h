// Desktop window manager attributes. An attribute set on a window is recorded with it; a
// presentation backend applies what it can (the dark title bar), and DwmGetWindowAttribute
// reads back what was set.
#ifndef TERVALA_WIN32_DWMAPI_H_
#define TERVALA_WIN32_DWMAPI_H_

#include "windows.h"

typedef enum DWMWINDOWATTRIBUTE {
  DWMWA_NCRENDERING_ENABLED = 1,
  DWMWA_NCRENDERING_POLICY = 2,
  DWMWA_USE_IMMERSIVE_DARK_MODE = 20,
  DWMWA_WINDOW_CORNER_PREFERENCE = 33,
  DWMWA_BORDER_COLOR = 34,
  DWMWA_CAPTION_COLOR = 35,
  DWMWA_TEXT_COLOR = 36,
  DWMWA_SYSTEMBACKDROP_TYPE = 38,
} DWMWINDOWATTRIBUTE;

WIN32_EXTERN_C_BEGIN

// E_HANDLE for an invalid window; E_INVALIDARG for a null or empty value, or for a BOOL
// attribute (such as 20) given with a size other than 4.
HRESULT WINAPI DwmSetWindowAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size);
// Reads back a value set with DwmSetWindowAttribute; E_INVALIDARG when none was set or the
// size differs.
HRESULT WINAPI DwmGetWindowAttribute(HWND window, DWORD attribute, PVOID value, DWORD size);

WIN32_EXTERN_C_END

#endif  // TERVALA_WIN32_DWMAPI_H_
