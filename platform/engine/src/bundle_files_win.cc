// The bundle loader's file tests and library loading over Win32. Paths arrive as UTF-8 and
// are handed to the wide functions, so any Unicode path works.
#include <windows.h>

#include <string>

#include "platform/engine/src/bundle_files.h"
#include "platform/windows_text/windows_text.h"

namespace vela_engine {
namespace {

using tervala_windows::ToUtf8;
using tervala_windows::ToWide;

DWORD Attributes(const std::string& path) { return GetFileAttributesW(ToWide(path).c_str()); }

}  // namespace

std::string ExecutableFolder() {
  std::wstring buffer(32768, L'\0');
  const DWORD length =
      GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::string();
  buffer.resize(length);
  const size_t separator = buffer.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::string() : ToUtf8(buffer.substr(0, separator));
}

bool IsAbsolutePath(const std::string& path) {
  // C:\..., C:..., \\server\share and \... all name a place without the executable's folder.
  if (path.size() >= 2 && path[1] == ':') return true;
  return !path.empty() && (path.front() == '\\' || path.front() == '/');
}

std::string JoinPath(const std::string& folder, const std::string& path) {
  return folder + "\\" + path;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void* OpenLibrary(const std::string& path, std::string* reason) {
  // The library's own folder is searched for the DLLs it needs, as a bundle expects.
  HMODULE library =
      LoadLibraryExW(ToWide(path).c_str(), nullptr,
                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (library == nullptr) {
    *reason = tervala_windows::ErrorText(GetLastError());
  }
  return library;
}

void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace vela_engine
