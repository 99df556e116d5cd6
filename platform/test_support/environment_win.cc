#include <stdlib.h>
#include <time.h>
#include <windows.h>

#include "platform/test_support/environment.h"
#include "platform/windows_text/windows_text.h"

namespace tervala_testing {

std::optional<std::string> EnvironmentValue(const std::string& name) {
  const std::wstring wide_name = tervala_windows::ToWide(name);
  const DWORD size = ::GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), size);
  if (length >= size) return std::nullopt;
  value.resize(length);
  return tervala_windows::ToUtf8(value);
}

void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value) {
  const std::wstring wide_name = tervala_windows::ToWide(name);
  // The C runtime keeps a copy of its own for getenv; _wputenv_s updates both it and the
  // process's block, which child processes inherit.
  const std::wstring wide_value = value ? tervala_windows::ToWide(*value) : std::wstring();
  _wputenv_s(wide_name.c_str(), wide_value.c_str());
  ::SetEnvironmentVariableW(wide_name.c_str(), value ? wide_value.c_str() : nullptr);
}

void ReloadTimeZone() { _tzset(); }

}  // namespace tervala_testing
