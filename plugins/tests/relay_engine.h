#ifndef TERVALA_PLUGINS_TESTS_RELAY_ENGINE_H_
#define TERVALA_PLUGINS_TESTS_RELAY_ENGINE_H_

// Test helper for plug-ins: a running engine whose application (relay_bundle.c) sends
// whatever bytes the test gives it on any channel, as the engine-side application would,
// and hands back the raw reply.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "embedding_client/encodable_value.h"
#include "embedding_client/message_codec.h"
#include "embedding_client/vela_engine.h"
#include "embedding_client/vela_view_controller.h"
#include "platform/test_support/scratch_folder.h"
#include "platform/win32/tests/message_pump.h"
#include "vela_windows.h"

namespace tervala_plugins::testing {

// What came back for a relayed message.
struct RelayedReply {
  bool answered = false;       // false: nothing came within the time limit
  bool empty = false;          // the empty reply
  std::vector<uint8_t> bytes;  // the reply bytes otherwise
};

// An engine running the relay bundle from a temporary bundle folder. Destroying it shuts
// the engine down, which destroys the plug-ins registered with it.
class RelayEngine {
 public:
  RelayEngine();
  ~RelayEngine();
  RelayEngine(const RelayEngine&) = delete;
  RelayEngine& operator=(const RelayEngine&) = delete;

  vela::VelaEngine& engine() { return *controller_->engine(); }
  bool is_running() const { return controller_->view() != nullptr; }

  // Has the application send `message` on `channel` and waits (running this thread's
  // messages) for the reply.
  RelayedReply Send(const std::string& channel, const std::vector<uint8_t>& message);

  // The same without waiting: `done` receives the reply on this thread once it arrives, or
  // an unanswered one when the engine stops first. Called exactly once unless the send is
  // refused outright.
  void Post(const std::string& channel, const std::vector<uint8_t>& message,
            std::function<void(const RelayedReply& reply)> done);

  // The same with a value encoded by `codec`; the decoded reply, or empty when no
  // decodable reply came (the test fails when none came at all).
  std::optional<vela::EncodableValue> Call(const std::string& channel,
                                           const vela::EncodableValue& message,
                                           const vela::MessageCodec<vela::EncodableValue>& codec);

 private:
  tervala_testing::ScratchFolder folder_{"relay-bundle"};
  std::unique_ptr<vela::VelaViewController> controller_;
};

// Runs this thread's messages until `done` returns true or the time is up.
using win32_testing::PumpUntil;

}  // namespace tervala_plugins::testing

#endif  // TERVALA_PLUGINS_TESTS_RELAY_ENGINE_H_
