#include "runner/exit_code_channel.h"

#include <atomic>
#include <cstdint>

#include "embedding_client/message_channel.h"
#include "embedding_client/plugin_replies.h"
#include "embedding_client/standard_message_codec.h"

namespace {

// Process-wide: the program's exit code outlives the window and engine that set it.
std::atomic<int> g_exit_code{0};

}  // namespace

void InstallExitCodeChannel(vela::BinaryMessenger* messenger) {
  vela::MessageChannel(messenger, kSetExitCodeChannel, &vela::StandardMessageCodec::GetInstance())
      .SetMessageHandler([](const vela::EncodableValue& request, const vela::MessageReply& reply) {
        const auto* arguments = request.GetIf<vela::EncodableList>();
        const int32_t* code = arguments != nullptr && arguments->size() == 1
                                  ? (*arguments)[0].GetIf<int32_t>()
                                  : nullptr;
        if (code == nullptr || *code < 0 || *code > 255) {
          reply(tervala_plugins::ErrorReply("bad-request",
                                            "Expected [code], an integer from 0 to 255."));
          return;
        }
        g_exit_code = *code;
        reply(tervala_plugins::SuccessReply(vela::EncodableValue()));
      });
}

int RequestedExitCode() { return g_exit_code; }
