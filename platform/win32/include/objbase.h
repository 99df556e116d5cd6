// COM initialisation per thread. Nothing uses COM objects here; the calls keep their
// counting and their results (S_OK, S_FALSE, RPC_E_CHANGED_MODE).
#ifndef TERVALA_WIN32_OBJBASE_H_
#define TERVALA_WIN32_OBJBASE_H_

#include "windows.h"

typedef enum tagCOINIT {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

WIN32_EXTERN_C_BEGIN

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD co_init);
void WINAPI CoUninitialize(void);
void WINAPI CoTaskMemFree(LPVOID memory);

WIN32_EXTERN_C_END

#endif  // TERVALA_WIN32_OBJBASE_H_
