#include "permissions_windows_plugin.h"

#include <optional>
#include <string>

#include "embedding_client/plugin_replies.h"
#include "plugins/permissions_windows/permission_status.h"
#include "embedding_client/single_channel_plugin.h"

namespace tervala_plugins {
namespace {

constexpr char kChannel[] = "dev.vela.plugins.PermissionsWindows.checkPermissionStatus";

void HandleRequest(const vela::EncodableValue& request, const vela::MessageReply& reply) {
  const std::string* name = StringArgument(request);
  if (name == nullptr) {
    reply(ErrorReply("bad-request", "Expected [permission name]."));
    return;
  }
  std::optional<std::string> status = PermissionStatus(*name);
  if (!status) {
    reply(ErrorReply("unknown-permission", "No permission is named \"" + *name + "\"."));
    return;
  }
  reply(SuccessReply(*status));
}

}  // namespace
}  // namespace tervala_plugins

extern "C" void PermissionsWindowsPluginRegisterWithRegistrar(
    VelaDesktopPluginRegistrar registrar) {
  tervala_plugins::RegisterSingleChannelPlugin(registrar, tervala_plugins::kChannel,
                                               tervala_plugins::HandleRequest);
}
