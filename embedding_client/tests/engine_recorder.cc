#include "embedding_client/tests/engine_recorder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vela::testing {
namespace {

RecordedEngineProperties& Recorded() {
  static RecordedEngineProperties recorded;
  return recorded;
}

RecordedTextureInfo& RecordedTextures() {
  static RecordedTextureInfo recorded;
  return recorded;
}

// The engine library's function `name` as a `Function`; a test program without the engine
// library cannot go on.
template <typename Function>
Function Real(const char* name) {
  void (*function)() = EngineLibraryFunction(name);
  if (function == nullptr) {
    std::fprintf(stderr, "engine recorder: the engine library has no %s\n", name);
    std::abort();
  }
  return reinterpret_cast<Function>(function);
}

}  // namespace

const RecordedEngineProperties& LastEngineProperties() { return Recorded(); }

const RecordedTextureInfo& TextureRegistrations() { return RecordedTextures(); }

}  // namespace vela::testing

VelaDesktopEngine VelaDesktopEngineCreate(const VelaDesktopEngineProperties* properties) {
  using Create = VelaDesktopEngine (*)(const VelaDesktopEngineProperties*);
  static const auto create = vela::testing::Real<Create>("VelaDesktopEngineCreate");
  vela::testing::RecordedEngineProperties& recorded = vela::testing::Recorded();
  recorded = {};
  recorded.assets_path = properties->assets_path;
  recorded.icu_data_path = properties->icu_data_path;
  recorded.aot_library_path = properties->aot_library_path;
  recorded.entrypoint_is_null = properties->entrypoint == nullptr;
  if (properties->entrypoint != nullptr) recorded.entrypoint = properties->entrypoint;
  // The fields at their fixed offsets.
  const auto* bytes = reinterpret_cast<const uint8_t*>(properties);
  std::memcpy(&recorded.argc, bytes + 32, 4);
  std::memcpy(&recorded.reserved0, bytes + 36, 4);
  const char* const* argv = nullptr;
  std::memcpy(&argv, bytes + 40, 8);
  recorded.argv_is_null = argv == nullptr;
  for (int32_t i = 0; argv != nullptr && i < recorded.argc; ++i) recorded.argv.push_back(argv[i]);
  std::memcpy(recorded.options, bytes + 48, 12);
  std::memcpy(&recorded.reserved1, bytes + 60, 4);
  return create(properties);
}

int64_t VelaDesktopTextureRegistrarRegisterExternalTexture(
    VelaDesktopTextureRegistrar texture_registrar, const VelaDesktopTextureInfo* info) {
  using Register = int64_t (*)(VelaDesktopTextureRegistrar, const VelaDesktopTextureInfo*);
  static const auto register_texture =
      vela::testing::Real<Register>("VelaDesktopTextureRegistrarRegisterExternalTexture");
  vela::testing::RecordedTextureInfo& recorded = vela::testing::RecordedTextures();
  ++recorded.count;
  std::memcpy(&recorded.last, info, sizeof(recorded.last));
  return register_texture(texture_registrar, info);
}
