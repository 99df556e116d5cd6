#include "embedding_client/tests/engine_test_support.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "embedding_client/standard_message_codec.h"

namespace vela::testing {
namespace {

const StandardMessageCodec& Codec() { return StandardMessageCodec::GetInstance(); }

RecordedEngineProperties& Recorded() {
  static RecordedEngineProperties recorded;
  return recorded;
}

RecordedTextureInfo& RecordedTextures() {
  static RecordedTextureInfo recorded;
  return recorded;
}

}  // namespace

TestBundle::TestBundle() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vela-bundle-XXXXXX").string();
  folder_ = mkdtemp(pattern.data());
  std::filesystem::create_directory(folder_ / "vela_assets");
  std::ofstream(folder_ / "icudtl.dat").close();
}

TestBundle::~TestBundle() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

EngineProject TestBundle::Project(std::vector<std::string> arguments,
                                  std::string entrypoint) const {
  EngineProject project(folder_.wstring());
  project.aot_library_path = std::filesystem::path(VELA_TEST_BUNDLE_PATH).wstring();
  project.entrypoint_arguments = std::move(arguments);
  project.entrypoint = std::move(entrypoint);
  return project;
}

EngineProject TestBundle::BrokenProject() const {
  EngineProject project(folder_.wstring());
  project.aot_library_path = (folder_ / "missing.so").wstring();
  return project;
}

std::optional<EncodableValue> Command(BinaryMessenger& messenger, const EncodableList& command) {
  auto answer = std::make_shared<std::optional<EncodableValue>>();
  auto answered = std::make_shared<bool>(false);
  std::unique_ptr<std::vector<uint8_t>> bytes = Codec().EncodeMessage(command);
  messenger.Send("test.command", bytes->data(), bytes->size(),
                 [answer, answered](const uint8_t* data, size_t size) {
                   *answered = true;
                   if (data == nullptr && size == 0) return;
                   if (auto value = Codec().DecodeMessage(data, size)) *answer = *value;
                 });
  PumpUntil([&] { return *answered; });
  return *answer;
}

EncodableValue BundleCall(BinaryMessenger& messenger, const std::string& channel,
                          const EncodableValue& value) {
  return Command(messenger, {"call", channel, value}).value_or(EncodableValue("no answer"));
}

const RecordedEngineProperties& LastEngineProperties() { return Recorded(); }

const RecordedTextureInfo& TextureRegistrations() { return RecordedTextures(); }

}  // namespace vela::testing

// Wraps the engine library's creation function: the record is copied out, then the
// library's own function runs.
extern "C" VelaDesktopEngine VelaDesktopEngineCreate(
    const VelaDesktopEngineProperties* properties) {
  using Create = VelaDesktopEngine (*)(const VelaDesktopEngineProperties*);
  static const auto create = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "VelaDesktopEngineCreate"));
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

extern "C" int64_t VelaDesktopTextureRegistrarRegisterExternalTexture(
    VelaDesktopTextureRegistrar texture_registrar, const VelaDesktopTextureInfo* info) {
  using Register = int64_t (*)(VelaDesktopTextureRegistrar, const VelaDesktopTextureInfo*);
  static const auto register_texture = reinterpret_cast<Register>(
      dlsym(RTLD_NEXT, "VelaDesktopTextureRegistrarRegisterExternalTexture"));
  vela::testing::RecordedTextureInfo& recorded = vela::testing::RecordedTextures();
  ++recorded.count;
  std::memcpy(&recorded.last, info, sizeof(recorded.last));
  return register_texture(texture_registrar, info);
}
