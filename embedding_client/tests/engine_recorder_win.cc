#include <windows.h>

#include "embedding_client/tests/engine_recorder.h"

namespace vela::testing {

void (*EngineLibraryFunction(const char* name))() {
  // The engine library is loaded already (the test program imports it); this only finds it.
  static const HMODULE library = GetModuleHandleW(L"" ENGINE_LIBRARY_NAME);
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void (*)()>(GetProcAddress(library, name));
}

}  // namespace vela::testing
