// Threads and time, local memory, the console and the debugger, the command line, COM
// initialisation, resources, and dynamic libraries over the system loader.
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/posix/state.h"

namespace win32_posix {
namespace {

thread_local int t_com_count = 0;
thread_local DWORD t_com_model = 0;

// The process's arguments as the system passed them. Bytes that are not UTF-8 are kept as
// lone surrogates, which a strict conversion refuses, rather than replaced by U+FFFD.
std::vector<std::wstring> ProcessArguments() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
  std::vector<std::wstring> arguments;
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find('\0', start);
    const size_t stop = end == std::string::npos ? content.size() : end;
    arguments.push_back(FromUtf8KeepingBadBytes(content.substr(start, stop - start)));
    start = stop + 1;
  }
  return arguments;
}

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

// Quotes one argument so that the Windows splitting rules give it back unchanged.
std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

struct CommandLine {
  std::vector<std::wstring> arguments;
  std::wstring text;
};

CommandLine& ProcessCommandLine() {
  static CommandLine* const command_line = [] {
    auto* built = new CommandLine();
    built->arguments = ProcessArguments();
    for (size_t i = 0; i < built->arguments.size(); ++i) {
      if (i > 0) built->text.push_back(L' ');
      const std::wstring& argument = built->arguments[i];
      // The program name is split by simpler rules: quotes group, backslashes are literal.
      if (i == 0) {
        std::wstring name = argument;
        std::erase(name, L'"');
        built->text +=
            name.find_first_of(L" \t") == std::wstring::npos ? name : L"\"" + name + L"\"";
      } else {
        built->text += Quote(argument);
      }
    }
    return built;
  }();
  return *command_line;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Splits a command line by the Windows rules: the program name ends at the first blank (or
// is quoted, with backslashes taken literally); in the other arguments, 2n backslashes before
// a quote give n backslashes and the quote toggles quoting, 2n+1 give n backslashes and a
// literal quote, and "" inside quotes gives a literal quote.
std::vector<std::wstring> Split(const wchar_t* text) {
  std::vector<std::wstring> arguments;
  const wchar_t* p = text;
  std::wstring name;
  if (*p == L'"') {
    for (++p; *p != L'\0' && *p != L'"'; ++p) name.push_back(*p);
    if (*p == L'"') ++p;
  } else {
    for (; *p != L'\0' && !IsBlank(*p); ++p) name.push_back(*p);
  }
  arguments.push_back(name);
  for (;;) {
    while (IsBlank(*p)) ++p;
    if (*p == L'\0') break;
    std::wstring argument;
    bool quoted = false;
    while (*p != L'\0' && (quoted || !IsBlank(*p))) {
      if (*p == L'\\') {
        size_t backslashes = 0;
        while (*p == L'\\') {
          ++backslashes;
          ++p;
        }
        if (*p == L'"') {
          argument.append(backslashes / 2, L'\\');
          if (backslashes % 2 == 1) {
            argument.push_back(L'"');
            ++p;
          }
        } else {
          argument.append(backslashes, L'\\');
        }
        continue;
      }
      if (*p == L'"') {
        if (quoted && p[1] == L'"') {
          argument.push_back(L'"');
          p += 2;
        } else {
          quoted = !quoted;
          ++p;
        }
        continue;
      }
      argument.push_back(*p++);
    }
    arguments.push_back(argument);
  }
  return arguments;
}

// Copies a UTF-8 path into a caller's buffer by the GetModuleFileName rules.
template <typename Char>
DWORD CopyPath(const std::basic_string<Char>& path, Char* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= size) {
    path.copy(buffer, size - 1);
    buffer[size - 1] = Char{};
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  path.copy(buffer, path.size());
  buffer[path.size()] = Char{};
  return static_cast<DWORD>(path.size());
}

std::string ModulePath(HMODULE module) {
  if (module == nullptr || module == GetModuleHandleW(nullptr)) return ExecutablePath();
  link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return std::string();
  if (map->l_name == nullptr || map->l_name[0] == '\0') return ExecutablePath();
  return map->l_name;
}

}  // namespace
}  // namespace win32_posix

using namespace win32_posix;

extern "C" {

DWORD WINAPI GetCurrentThreadId(void) { return static_cast<DWORD>(gettid()); }

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

void WINAPI Sleep(DWORD milliseconds) {
  timespec duration{static_cast<time_t>(milliseconds / 1000),
                    static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&duration, &duration) != 0) {
  }
}

ULONGLONG WINAPI GetTickCount64(void) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<ULONGLONG>(now.tv_sec) * 1000 + static_cast<ULONGLONG>(now.tv_nsec) / 1000000;
}

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(GetTickCount64()); }

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
  void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes == 0 ? 1 : bytes)
                                         : std::malloc(bytes == 0 ? 1 : bytes);
  if (memory == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return memory;
}

HLOCAL WINAPI LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

BOOL WINAPI AttachConsole(DWORD) {
  if (isatty(STDOUT_FILENO) || isatty(STDERR_FILENO)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL WINAPI AllocConsole(void) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

BOOL WINAPI FreeConsole(void) { return TRUE; }

BOOL WINAPI IsDebuggerPresent(void) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::atoi(line.c_str() + 10) != 0;
  }
  return FALSE;
}

void WINAPI OutputDebugStringA(LPCSTR) {}

void WINAPI OutputDebugStringW(LPCWSTR) {}

LPWSTR WINAPI GetCommandLineW(void) { return ProcessCommandLine().text.data(); }

LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR command_line, int* count) {
  if (count == nullptr || command_line == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::wstring> arguments;
  CommandLine& process = ProcessCommandLine();
  if (command_line == process.text.data()) {
    arguments = process.arguments;
  } else if (command_line[0] == L'\0') {
    arguments.push_back(FromUtf8(ExecutablePath()));
  } else {
    arguments = Split(command_line);
  }
  // One block: the pointer array (with a closing null) followed by the strings.
  size_t bytes = (arguments.size() + 1) * sizeof(LPWSTR);
  for (const auto& argument : arguments) bytes += (argument.size() + 1) * sizeof(WCHAR);
  auto* block = static_cast<LPWSTR*>(LocalAlloc(LMEM_FIXED, bytes));
  if (block == nullptr) return nullptr;
  auto* text = reinterpret_cast<WCHAR*>(block + arguments.size() + 1);
  for (size_t i = 0; i < arguments.size(); ++i) {
    block[i] = text;
    std::memcpy(text, arguments[i].c_str(), (arguments[i].size() + 1) * sizeof(WCHAR));
    text += arguments[i].size() + 1;
  }
  block[arguments.size()] = nullptr;
  *count = static_cast<int>(arguments.size());
  return block;
}

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD co_init) {
  if (reserved != nullptr) return E_INVALIDARG;
  const DWORD model = co_init & COINIT_APARTMENTTHREADED;
  if (t_com_count > 0) {
    if (model != t_com_model) return RPC_E_CHANGED_MODE;
    ++t_com_count;
    return S_FALSE;
  }
  t_com_model = model;
  t_com_count = 1;
  return S_OK;
}

void WINAPI CoUninitialize(void) {
  if (t_com_count > 0) --t_com_count;
}

void WINAPI CoTaskMemFree(LPVOID memory) { std::free(memory); }

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
  if (instance == nullptr && name == IDI_APPLICATION) {
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(0x10000 + 32512));
  }
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  if (instance == nullptr && IS_INTRESOURCE(name) && name != nullptr) {
    return reinterpret_cast<HCURSOR>(0x20000 + reinterpret_cast<uintptr_t>(name));
  }
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HMODULE WINAPI LoadLibraryA(LPCSTR file_name) {
  if (file_name == nullptr || file_name[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* handle = dlopen(file_name, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return static_cast<HMODULE>(handle);
}

HMODULE WINAPI LoadLibraryW(LPCWSTR file_name) {
  if (file_name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryA(ToUtf8(file_name).c_str());
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR proc_name) {
  if (module == nullptr || proc_name == nullptr || IS_INTRESOURCE(proc_name)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(module, proc_name);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  FARPROC procedure = nullptr;
  static_assert(sizeof(procedure) == sizeof(symbol));
  std::memcpy(&procedure, &symbol, sizeof(procedure));
  return procedure;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  if (module == nullptr || dlclose(module) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name) {
  if (module_name == nullptr) {
    static HMODULE const executable = static_cast<HMODULE>(dlopen(nullptr, RTLD_LAZY));
    return executable;
  }
  void* handle = dlopen(module_name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  dlclose(handle);  // The library stays loaded by whoever loaded it; no reference is taken.
  return static_cast<HMODULE>(handle);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR module_name) {
  if (module_name == nullptr) return GetModuleHandleA(nullptr);
  return GetModuleHandleA(ToUtf8(module_name).c_str());
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR file_name, DWORD size) {
  const std::string path = ModulePath(module);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  return CopyPath(path, file_name, size);
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR file_name, DWORD size) {
  const std::string path = ModulePath(module);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  return CopyPath(FromUtf8(path), file_name, size);
}

}  // extern "C"
