// Registry reads. The registry is a per-user text store: by default
// $XDG_CONFIG_HOME/tervala/registry.reg (else ~/.config/tervala/registry.reg); the
// environment variable TERVALA_REGISTRY names another file. Its format is that of .reg files:
//
//   [HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize]
//   "AppsUseLightTheme"=dword:00000000
//   "Name"="text"
//
// Key paths and value names are compared without regard to case. The file is read on each
// call, so a change is seen at once.
#ifndef TERVALA_WIN32_WINREG_H_
#define TERVALA_WIN32_WINREG_H_

#include "windef.h"

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0x0000ffff
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000

WIN32_EXTERN_C_BEGIN

// Reads a REG_DWORD or REG_SZ value. Errors: ERROR_FILE_NOT_FOUND (no such key or value),
// ERROR_UNSUPPORTED_TYPE (the value's type is not allowed by `flags`), ERROR_MORE_DATA (the
// buffer is too small; *data_size then holds the size needed), ERROR_INVALID_PARAMETER.
LSTATUS WINAPI RegGetValueW(HKEY key, LPCWSTR sub_key, LPCWSTR value_name, DWORD flags,
                            LPDWORD type, PVOID data, LPDWORD data_size);

WIN32_EXTERN_C_END

#endif  // TERVALA_WIN32_WINREG_H_
