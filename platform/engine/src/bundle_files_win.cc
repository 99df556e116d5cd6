// The bundle loader's file tests and library loading over Win32. Paths arrive as UTF-8 and
// are handed to the wide functions, so any Unicode path works.
#include <windows.h>

#include <string>

#include "platform/engine/src/bundle_files.h"

namespace vela_engine {
namespace {

std::wstring ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                      nullptr, nullptr);
  return result;
}

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
    const DWORD error = GetLastError();
    wchar_t* message = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::string text = message != nullptr ? ToUtf8(message) : std::string();
    LocalFree(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
      text.pop_back();
    }
    *reason = "error " + std::to_string(error) + (text.empty() ? "" : ": " + text);
  }
  return library;
}

void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace vela_engine
