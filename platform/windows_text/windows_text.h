// UTF-8 <-> UTF-16 conversion and error texts for the Windows code of the engine stand-in
// and the plug-in libraries, which take UTF-8 and call the wide Win32 functions.
#ifndef TERVALA_PLATFORM_WINDOWS_TEXT_WINDOWS_TEXT_H_
#define TERVALA_PLATFORM_WINDOWS_TEXT_WINDOWS_TEXT_H_

#include <windows.h>

#include <string>

namespace tervala_windows {

// Malformed input becomes U+FFFD, as the system's conversions without flags do.
std::wstring ToWide(const std::string& text);
std::string ToUtf8(const std::wstring& text);

// The system's message for an error code, on one line, with the code.
std::string ErrorText(DWORD error);

}  // namespace tervala_windows

#endif  // TERVALA_PLATFORM_WINDOWS_TEXT_WINDOWS_TEXT_H_
