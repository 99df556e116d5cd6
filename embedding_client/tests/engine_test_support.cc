#include "embedding_client/tests/engine_test_support.h"

#include <fstream>
#include <memory>

#include "embedding_client/standard_message_codec.h"

namespace vela::testing {
namespace {

const StandardMessageCodec& Codec() { return StandardMessageCodec::GetInstance(); }

}  // namespace

TestBundle::TestBundle() {
  std::filesystem::create_directory(folder_.path() / "vela_assets");
  std::ofstream(folder_.path() / "icudtl.dat").close();
}

TestBundle::~TestBundle() = default;

EngineProject TestBundle::Project(std::vector<std::string> arguments,
                                  std::string entrypoint) const {
  EngineProject project(folder_.path().wstring());
  project.aot_library_path = std::filesystem::path(VELA_TEST_BUNDLE_PATH).wstring();
  project.entrypoint_arguments = std::move(arguments);
  project.entrypoint = std::move(entrypoint);
  return project;
}

EngineProject TestBundle::BrokenProject() const {
  EngineProject project(folder_.path().wstring());
  project.aot_library_path = (folder_.path() / "missing.so").wstring();
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

}  // namespace vela::testing
