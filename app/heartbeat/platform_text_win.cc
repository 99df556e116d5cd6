// UTF-8 <-> UTF-16 conversion by the system, without flags: malformed input is replaced,
// never refused, and only a failed or inconsistent system call is an error.
#include <windows.h>

#include <string>

#include "app/heartbeat/platform_files.h"

namespace nimbus {

std::wstring Utf8ToNative(const std::string& input, std::string* out_error) {
  if (input.empty()) return std::wstring();
  const int input_length = static_cast<int>(input.size());
  const int count = MultiByteToWideChar(CP_UTF8, 0, input.data(), input_length, nullptr, 0);
  if (count <= 0) {
    if (out_error) *out_error = "Utf8ToNative failed with code " + std::to_string(GetLastError());
    return std::wstring();
  }
  // One unit more than measured: a conversion that overruns the count shows in it.
  std::wstring result(static_cast<size_t>(count) + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, input.data(), input_length, result.data(), count);
  if (n <= 0 || n >= count + 1 || result[static_cast<size_t>(count)] != L'\0') {
    if (out_error) {
      *out_error = "Utf8ToNative failed: MultiByteToWideChar returned " + std::to_string(n);
    }
    return std::wstring();
  }
  result.resize(static_cast<size_t>(n));
  return result;
}

std::string NativeToUtf8(const wchar_t* input, size_t length, std::string* out_error) {
  if (length == 0) return std::string();
  const int input_length = static_cast<int>(length);
  const int count =
      WideCharToMultiByte(CP_UTF8, 0, input, input_length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) {
    if (out_error) *out_error = "NativeToUtf8 failed with code " + std::to_string(GetLastError());
    return std::string();
  }
  std::string result(static_cast<size_t>(count) + 1, '\0');
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, input, input_length, result.data(), count, nullptr, nullptr);
  if (n <= 0 || n >= count + 1 || result[static_cast<size_t>(count)] != '\0') {
    if (out_error) {
      *out_error = "NativeToUtf8 failed: WideCharToMultiByte returned " + std::to_string(n);
    }
    return std::string();
  }
  result.resize(static_cast<size_t>(n));
  return result;
}

}  // namespace nimbus
