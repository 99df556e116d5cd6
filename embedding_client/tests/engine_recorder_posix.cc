#include <dlfcn.h>

#include "embedding_client/tests/engine_recorder.h"

namespace vela::testing {

void (*EngineLibraryFunction(const char* name))() {
  // The engine library is loaded already (the test program needs it); this only finds it.
  static void* const library = dlopen(ENGINE_LIBRARY_NAME, RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void (*)()>(dlsym(library, name));
}

}  // namespace vela::testing
