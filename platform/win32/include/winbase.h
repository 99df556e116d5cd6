// Kernel functions of this subset: last error, threads and time, local memory, the console,
// the debugger, the command line and dynamic libraries.
#ifndef TERVALA_WIN32_WINBASE_H_
#define TERVALA_WIN32_WINBASE_H_

#include "windef.h"
#include "winerror.h"

#define ATTACH_PARENT_PROCESS ((DWORD)-1)
#define INFINITE 0xFFFFFFFF
#define MAX_PATH 260
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

WIN32_EXTERN_C_BEGIN

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD error);

DWORD WINAPI GetCurrentThreadId(void);
DWORD WINAPI GetCurrentProcessId(void);
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI GetTickCount(void);
ULONGLONG WINAPI GetTickCount64(void);

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL WINAPI LocalFree(HLOCAL memory);

// Succeeds when standard output or standard error is a terminal.
BOOL WINAPI AttachConsole(DWORD process_id);
// There is no console to create on this system: fails with ERROR_ACCESS_DENIED.
BOOL WINAPI AllocConsole(void);
BOOL WINAPI FreeConsole(void);
// True when a tracer (a debugger) is attached to the process.
BOOL WINAPI IsDebuggerPresent(void);
void WINAPI OutputDebugStringA(LPCSTR text);
void WINAPI OutputDebugStringW(LPCWSTR text);

// The process's command line, built from its real arguments and quoted by the Windows
// rules, so that CommandLineToArgvW gives the arguments back unchanged.
LPWSTR WINAPI GetCommandLineW(void);

// Dynamic libraries over the system loader. A name is passed to the loader as it is.
HMODULE WINAPI LoadLibraryA(LPCSTR file_name);
HMODULE WINAPI LoadLibraryW(LPCWSTR file_name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR proc_name);
BOOL WINAPI FreeLibrary(HMODULE module);
// Null: the executable. A name: the loaded library of that name, without loading it.
HMODULE WINAPI GetModuleHandleW(LPCWSTR module_name);
HMODULE WINAPI GetModuleHandleA(LPCSTR module_name);
// The full path of the executable (module null) or of a loaded library; the result is cut
// to the buffer and ERROR_INSUFFICIENT_BUFFER set when it does not fit.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR file_name, DWORD size);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR file_name, DWORD size);

WIN32_EXTERN_C_END

#endif  // TERVALA_WIN32_WINBASE_H_
