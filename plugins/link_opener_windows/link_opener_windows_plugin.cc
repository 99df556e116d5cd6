#include "link_opener_windows_plugin.h"

#include <optional>
#include <string>

#include "embedding_client/plugin_replies.h"
#include "plugins/link_opener_windows/desktop_opener.h"
#include "embedding_client/single_channel_plugin.h"

namespace tervala_plugins {
namespace {

constexpr char kChannel[] = "dev.vela.plugins.LinkOpenerWindows.openUrl";

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
  tervala_plugins::RegisterSingleChannelPlugin(registrar, tervala_plugins::kChannel,
                                               tervala_plugins::HandleRequest);
}
