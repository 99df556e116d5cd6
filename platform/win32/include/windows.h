// The Win32 subset that the desktop host and the engine library stand-in use, declared with
// Windows' names, types and values and implemented over POSIX. On Windows the system's own
// windows.h is used instead.
#ifndef TERVALA_WIN32_WINDOWS_H_
#define TERVALA_WIN32_WINDOWS_H_

#include "winbase.h"
#include "windef.h"
#include "winerror.h"
#include "winnls.h"
#include "winreg.h"
#include "winuser.h"

#endif  // TERVALA_WIN32_WINDOWS_H_
