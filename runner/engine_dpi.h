// The engine library function that the top-level window uses to scale itself: the DPI of a
// monitor, 96 meaning 100 %. The engine library exports it with this C signature.
#ifndef TERVALA_RUNNER_ENGINE_DPI_H_
#define TERVALA_RUNNER_ENGINE_DPI_H_

#include <windows.h>

extern "C" UINT VelaDesktopGetDpiForMonitor(HMONITOR monitor);

#endif  // TERVALA_RUNNER_ENGINE_DPI_H_
