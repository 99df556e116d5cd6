#include "link_opener_windows_plugin.h"

#include <memory>
#include <optional>
#include <string>

#include "embedding_client/message_channel.h"
#include "embedding_client/plugin_registrar_directory.h"
#include "embedding_client/standard_message_codec.h"
#include "platform/plugins/src/channel_replies.h"
#include "platform/plugins/src/desktop_opener.h"

namespace tervala_plugins {
namespace {

constexpr char kChannel[] = "dev.vela.plugins.LinkOpenerWindows.openUrl";

// Owns nothing but its place in the registrar; the channel handler keeps no state.
class LinkOpenerWindowsPlugin : public vela::Plugin {};

void HandleRequest(const vela::EncodableValue& request, const vela::MessageReply& reply) {
  const std::string* url = StringArgument(request);
  if (url == nullptr) {
    reply(ErrorReply("bad-request", "Expected [url]."));
    return;
  }
  if (!IsOpenableUrl(*url)) {
    reply(ErrorReply("invalid-url", "Not a URL that can be opened: \"" + *url + "\"."));
    return;
  }
  // The reply may be called on the opener's waiting thread; it is safe there, and after
  // the engine has gone it is dropped.
  OpenWithDesktop(*url, [reply](std::optional<std::string> error) {
    reply(error ? ErrorReply("launch-failed", *error) : SuccessReply(true));
  });
}

}  // namespace
}  // namespace tervala_plugins

extern "C" void LinkOpenerWindowsRegisterWithRegistrar(VelaDesktopPluginRegistrar registrar) {
  vela::PluginRegistrarWindows* windows_registrar =
      vela::PluginRegistrarDirectory::GetInstance().GetRegistrar(registrar);
  if (windows_registrar == nullptr) return;
  vela::MessageChannel channel(windows_registrar->messenger(), tervala_plugins::kChannel,
                               &vela::StandardMessageCodec::GetInstance());
  channel.SetMessageHandler(tervala_plugins::HandleRequest);
  windows_registrar->AddPlugin(std::make_unique<tervala_plugins::LinkOpenerWindowsPlugin>());
}
