#include "permissions_windows_plugin.h"

#include <memory>
#include <optional>
#include <string>

#include "embedding_client/message_channel.h"
#include "embedding_client/plugin_registrar_directory.h"
#include "embedding_client/standard_message_codec.h"
#include "platform/plugins/src/channel_replies.h"
#include "platform/plugins/src/permission_status.h"

namespace tervala_plugins {
namespace {

constexpr char kChannel[] = "dev.vela.plugins.PermissionsWindows.checkPermissionStatus";

// Owns nothing but its place in the registrar; the channel handler keeps no state.
class PermissionsWindowsPlugin : public vela::Plugin {};

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
  vela::PluginRegistrarWindows* windows_registrar =
      vela::PluginRegistrarDirectory::GetInstance().GetRegistrar(registrar);
  if (windows_registrar == nullptr) return;
  vela::MessageChannel channel(windows_registrar->messenger(), tervala_plugins::kChannel,
                               &vela::StandardMessageCodec::GetInstance());
  channel.SetMessageHandler(tervala_plugins::HandleRequest);
  windows_registrar->AddPlugin(std::make_unique<tervala_plugins::PermissionsWindowsPlugin>());
}
