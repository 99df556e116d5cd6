// Text conversion between UTF-8 and wide strings. Code pages CP_UTF8 and CP_ACP (the system
// code page, UTF-8 here) are supported. Wide output holds one wchar_t per code point; wide
// input may hold code points or UTF-16 surrogate pairs. Without the "invalid characters"
// flags, malformed input becomes U+FFFD; with them, the call fails with
// ERROR_NO_UNICODE_TRANSLATION.
#ifndef TERVALA_WIN32_WINNLS_H_
#define TERVALA_WIN32_WINNLS_H_

#include "windef.h"

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

WIN32_EXTERN_C_BEGIN

int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte,
                               int multi_byte_length, LPWSTR wide, int wide_length);
int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int wide_length,
                               LPSTR multi_byte, int multi_byte_length, LPCSTR default_char,
                               LPBOOL used_default_char);

WIN32_EXTERN_C_END

#endif  // TERVALA_WIN32_WINNLS_H_
