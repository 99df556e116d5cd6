#include <dlfcn.h>

#include "platform/test_support/shared_library.h"

namespace tervala_testing {

SharedLibrary::SharedLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW);
  if (handle_ == nullptr) {
    const char* error = dlerror();
    load_error_ = error != nullptr ? error : "dlopen failed";
  }
}

SharedLibrary::~SharedLibrary() {
  if (handle_ != nullptr && !keep_loaded_) dlclose(handle_);
}

SharedLibrary::Address SharedLibrary::FindAddress(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<Address>(dlsym(handle_, name));
}

}  // namespace tervala_testing
