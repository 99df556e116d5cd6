#include "plugins/tests/relay_engine.h"

#include <gtest/gtest.h>

#include <fstream>

#include "embedding_client/engine_project.h"

namespace tervala_plugins::testing {

RelayEngine::RelayEngine() {
  std::filesystem::create_directory(folder_.path() / "vela_assets");
  std::ofstream(folder_.path() / "icudtl.dat").close();
  vela::EngineProject project(folder_.path().wstring());
  project.aot_library_path = std::filesystem::path(RELAY_BUNDLE_PATH).wstring();
  controller_ = std::make_unique<vela::VelaViewController>(320, 240, project);
}

RelayEngine::~RelayEngine() { controller_.reset(); }

RelayedReply RelayEngine::Send(const std::string& channel, const std::vector<uint8_t>& message) {
  auto reply = std::make_shared<RelayedReply>();
  auto arrived = std::make_shared<bool>(false);
  Post(channel, message, [reply, arrived](const RelayedReply& relayed) {
    *arrived = true;
    *reply = relayed;
  });
  PumpUntil([&] { return *arrived; });
  return *reply;
}

void RelayEngine::Post(const std::string& channel, const std::vector<uint8_t>& message,
                       std::function<void(const RelayedReply& reply)> done) {
  std::vector<uint8_t> relay(channel.begin(), channel.end());
  relay.push_back(0);
  relay.insert(relay.end(), message.begin(), message.end());
  engine().messenger().Send("test.relay", relay.data(), relay.size(),
                            [done = std::move(done)](const uint8_t* data, size_t size) {
                              RelayedReply reply;
                              // Size 0: the engine stopped first; status 2: not relayed.
                              if (size > 0 && data[0] != 2) {
                                reply.answered = true;
                                reply.empty = data[0] == 0;
                                reply.bytes.assign(data + 1, data + size);
                              }
                              done(reply);
                            });
}

std::optional<vela::EncodableValue> RelayEngine::Call(
    const std::string& channel, const vela::EncodableValue& message,
    const vela::MessageCodec<vela::EncodableValue>& codec) {
  std::unique_ptr<std::vector<uint8_t>> bytes = codec.EncodeMessage(message);
  RelayedReply reply = Send(channel, *bytes);
  EXPECT_TRUE(reply.answered) << "no reply on " << channel;
  if (!reply.answered || reply.empty) return std::nullopt;
  std::unique_ptr<vela::EncodableValue> value = codec.DecodeMessage(reply.bytes);
  if (!value) return std::nullopt;
  return *value;
}

}  // namespace tervala_plugins::testing
