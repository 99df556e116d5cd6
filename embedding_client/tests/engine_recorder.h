// A wrapper library over the engine library for the embedding client's tests. It exports
// the engine's creation and texture registration functions; a test program linked with it
// ahead of the engine library calls these, which copy out the records they are given and
// then call the engine library's own functions. The tests read the copies here.
#ifndef TERVALA_EMBEDDING_CLIENT_TESTS_ENGINE_RECORDER_H_
#define TERVALA_EMBEDDING_CLIENT_TESTS_ENGINE_RECORDER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "vela_windows.h"

#if defined(_WIN32) && defined(ENGINE_RECORDER_IMPLEMENTATION)
#define ENGINE_RECORDER_EXPORT __declspec(dllexport)
#elif defined(_WIN32)
#define ENGINE_RECORDER_EXPORT __declspec(dllimport)
#else
#define ENGINE_RECORDER_EXPORT
#endif

namespace vela::testing {

// The engine properties record the engine library last received, copied out during the
// call.
struct RecordedEngineProperties {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  bool entrypoint_is_null = true;
  std::string entrypoint;
  int32_t argc = -1;
  bool argv_is_null = true;
  std::vector<std::string> argv;
  int32_t options[3] = {-1, -1, -1};
  int32_t reserved0 = -1;
  int32_t reserved1 = -1;
};
ENGINE_RECORDER_EXPORT const RecordedEngineProperties& LastEngineProperties();

// The texture records the engine library received: how many, and a copy of the last.
struct RecordedTextureInfo {
  int count = 0;
  VelaDesktopTextureInfo last = {};
};
ENGINE_RECORDER_EXPORT const RecordedTextureInfo& TextureRegistrations();

// The engine library's own function `name`, found in the loaded engine library; null when
// it is not there.
void (*EngineLibraryFunction(const char* name))();

}  // namespace vela::testing

#endif  // TERVALA_EMBEDDING_CLIENT_TESTS_ENGINE_RECORDER_H_
