// The bundle loader's file tests and library loading over POSIX and the dynamic loader.
#include <dlfcn.h>
#include <sys/stat.h>
#include <windows.h>

#include <string>

#include "platform/engine/src/bundle_files.h"

namespace vela_engine {

std::string ExecutableFolder() {
  // The Win32 layer's module path, which is the executable's real path.
  std::wstring buffer(4096, L'\0');
  const DWORD length =
      GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(length), nullptr,
                                       0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string path(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(length), path.data(), size,
                      nullptr, nullptr);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string JoinPath(const std::string& folder, const std::string& path) {
  return folder + "/" + path;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void* OpenLibrary(const std::string& path, std::string* reason) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* error = dlerror();
    *reason = error != nullptr ? error : "unknown";
  }
  return library;
}

void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }

void CloseLibrary(void* library) { dlclose(library); }

}  // namespace vela_engine
