#ifndef TERVALA_EMBEDDING_CLIENT_ENGINE_PROJECT_H_
#define TERVALA_EMBEDDING_CLIENT_ENGINE_PROJECT_H_

// What the engine is to run: the application bundle's paths, the entry point with its
// arguments, and three engine options. The engine constructor reads it.

#include <cstdint>
#include <string>
#include <vector>

namespace vela {

// A value record describing the bundle handed to the engine library. The paths are
// passed on exactly as stored; the engine library resolves relative ones.
struct EngineProject {
  // A project whose three bundle paths are the base directory followed directly by the
  // platform's separator and "vela_assets", "icudtl.dat" and "app.so". Everything else
  // starts empty or zero.
  explicit EngineProject(const std::wstring& base_directory);

  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  // The entry point's name; empty selects the engine's default entry point.
  std::string entrypoint;
  // UTF-8 arguments handed to the entry point, in order.
  std::vector<std::string> entrypoint_arguments;
  int32_t engine_option_1 = 0;
  int32_t engine_option_2 = 0;
  int32_t engine_option_3 = 0;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_ENGINE_PROJECT_H_
