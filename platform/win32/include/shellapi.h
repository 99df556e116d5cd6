// Command-line splitting by the Windows rules.
#ifndef TERVALA_WIN32_SHELLAPI_H_
#define TERVALA_WIN32_SHELLAPI_H_

#include "windows.h"

WIN32_EXTERN_C_BEGIN

// Splits a command line into arguments; the result is one block, freed with LocalFree.
// Given the pointer that GetCommandLineW returned, the result is the process's own
// arguments. An empty command line gives the executable's path as the only argument.
LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR command_line, int* count);

WIN32_EXTERN_C_END

#endif  // TERVALA_WIN32_SHELLAPI_H_
