// The greeter plug-in: answers "dev.tervala.examples.greeter.greet". A request is [name], a
// non-empty string; the answer is ["Hello, <name>!"], or the error
// ["bad-request", "Expected [name], a non-empty string.", null] for anything else.
#include <string>

#include "embedding_client/plugin_export.h"
#include "embedding_client/plugin_replies.h"
#include "embedding_client/single_channel_plugin.h"

namespace {

constexpr char kGreetChannel[] = "dev.tervala.examples.greeter.greet";

void Greet(const vela::EncodableValue& request, const vela::MessageReply& reply) {
  const std::string* name = tervala_plugins::StringArgument(request);
  if (name == nullptr || name->empty()) {
    reply(tervala_plugins::ErrorReply("bad-request", "Expected [name], a non-empty string."));
    return;
  }
  reply(tervala_plugins::SuccessReply("Hello, " + *name + "!"));
}

}  // namespace

TERVALA_PLUGIN_EXPORT void GreeterPluginRegisterWithRegistrar(
    VelaDesktopPluginRegistrar registrar) {
  tervala_plugins::RegisterSingleChannelPlugin(registrar, kGreetChannel, Greet);
}
