#include <windows.h>

#include "platform/test_support/paths.h"
#include "platform/test_support/shared_library.h"

namespace tervala_testing {

SharedLibrary::SharedLibrary(const std::string& path) {
  // The library's own folder is searched for the DLLs it depends on.
  handle_ = LoadLibraryExW(PathFromUtf8(path).wstring().c_str(), nullptr,
                           LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (handle_ == nullptr) {
    load_error_ = "LoadLibraryExW failed with error " + std::to_string(GetLastError());
  }
}

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr && !keep_loaded_) FreeLibrary(static_cast<HMODULE>(handle_));
}

SharedLibrary::Address SharedLibrary::FindAddress(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<Address>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace tervala_testing
