// What the bundle loader needs of the operating system: the executable's folder, file
// tests, and loading a library and finding a symbol in it. Paths are UTF-8.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_FILES_H_
#define TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_FILES_H_

#include <string>

namespace vela_engine {

// The folder the running executable lies in, or empty when it cannot be told.
std::string ExecutableFolder();
// Whether `path` is absolute (on Windows also a drive-relative or UNC path), so that it is
// not to be joined to the executable's folder.
bool IsAbsolutePath(const std::string& path);
// `folder` and the relative `path` joined with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& path);
bool IsDirectory(const std::string& path);
bool IsFile(const std::string& path);

// Loads the library at `path`; on failure returns null and sets `reason`.
void* OpenLibrary(const std::string& path, std::string* reason);
void* FindSymbol(void* library, const char* name);
void CloseLibrary(void* library);

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_BUNDLE_FILES_H_
