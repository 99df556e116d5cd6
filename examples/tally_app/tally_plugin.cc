// The tally plug-in: answers "dev.tervala.examples.tally.add". A request is [word], a
// non-empty string; the answer is [count], how many times the word has been added so far,
// this one included, or the error ["bad-request", "Expected [word], a non-empty string.",
// null] for anything else.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "embedding_client/plugin_export.h"
#include "embedding_client/plugin_replies.h"
#include "embedding_client/single_channel_plugin.h"

namespace {

constexpr char kAddChannel[] = "dev.tervala.examples.tally.add";

}  // namespace

TERVALA_PLUGIN_EXPORT void TallyPluginRegisterWithRegistrar(VelaDesktopPluginRegistrar registrar) {
  // The counts live as long as the channel's handler; handlers run on the UI thread only.
  auto counts = std::make_shared<std::map<std::string, int32_t>>();
  tervala_plugins::RegisterSingleChannelPlugin(
      registrar, kAddChannel,
      [counts](const vela::EncodableValue& request, const vela::MessageReply& reply) {
        const std::string* word = tervala_plugins::StringArgument(request);
        if (word == nullptr || word->empty()) {
          reply(tervala_plugins::ErrorReply("bad-request", "Expected [word], a non-empty string."));
          return;
        }
        reply(tervala_plugins::SuccessReply(++(*counts)[*word]));
      });
}
