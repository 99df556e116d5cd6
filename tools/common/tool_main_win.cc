#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After <windows.h>, which it builds on.
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "tools/common/tool_main.h"

namespace tervala::tools {
namespace {

std::string ToUtf8(const wchar_t* text) {
  const int size =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, result.data(), size, nullptr,
                          nullptr) != size) {
    return std::string();
  }
  result.pop_back();  // the terminator
  return result;
}

}  // namespace

// The wide command line, split by the system's rules; argv (ANSI) is used only if that fails.
std::vector<std::string> ToolArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace tervala::tools
