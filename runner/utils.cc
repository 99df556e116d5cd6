#include "runner/utils.h"

#include <windows.h>
// After <windows.h>, which it builds on.
#include <shellapi.h>

#include <climits>
#include <cwchar>

std::vector<std::string> CollectCommandLineArguments() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return std::vector<std::string>();

  std::vector<std::string> command_line_arguments;
  // The first argument is the program path.
  for (int i = 1; i < argc; ++i) command_line_arguments.push_back(Utf16ToUtf8(argv[i]));
  LocalFree(argv);
  return command_line_arguments;
}

std::string Utf16ToUtf8(const wchar_t* utf16_string) {
  if (utf16_string == nullptr) return std::string();
  // Invalid input fails the conversion instead of turning into replacement characters.
  const int size_with_terminator = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16_string,
                                                       -1, nullptr, 0, nullptr, nullptr);
  if (size_with_terminator <= 1) return std::string();
  const int target_length = size_with_terminator - 1;

  const size_t input_length = std::wcslen(utf16_string);
  if (input_length > static_cast<size_t>(INT_MAX)) return std::string();
  std::string utf8_string(static_cast<size_t>(target_length), '\0');
  const int converted_length = WideCharToMultiByte(
      CP_UTF8, WC_ERR_INVALID_CHARS, utf16_string, static_cast<int>(input_length),
      utf8_string.data(), target_length, nullptr, nullptr);
  if (converted_length == 0) return std::string();
  return utf8_string;
}
