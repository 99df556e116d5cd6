#ifndef TERVALA_EMBEDDING_CLIENT_SINGLE_CHANNEL_PLUGIN_H_
#define TERVALA_EMBEDDING_CLIENT_SINGLE_CHANNEL_PLUGIN_H_

// Registration of a plug-in that serves one channel of the standard codec with a handler
// that keeps no state: all a small plug-in library's registration function needs to do.
// The handler runs on the UI thread; it may keep the reply and answer later, from any
// thread, once.

#include <memory>

#include "embedding_client/message_channel.h"
#include "embedding_client/plugin_registrar_directory.h"
#include "embedding_client/standard_message_codec.h"
#include "vela_windows.h"

namespace tervala_plugins {

// Owns nothing but its place in the registrar.
class SingleChannelPlugin : public vela::Plugin {};

// Installs `handler` on `channel` of the registrar's messenger and hands the registrar a
// plug-in object. A registrar the directory does not know registers nothing.
inline void RegisterSingleChannelPlugin(VelaDesktopPluginRegistrar registrar, const char* channel,
                                        vela::MessageHandler handler) {
  vela::PluginRegistrarWindows* windows_registrar =
      vela::PluginRegistrarDirectory::GetInstance().GetRegistrar(registrar);
  if (windows_registrar == nullptr) return;
  vela::MessageChannel(windows_registrar->messenger(), channel,
                       &vela::StandardMessageCodec::GetInstance())
      .SetMessageHandler(std::move(handler));
  windows_registrar->AddPlugin(std::make_unique<SingleChannelPlugin>());
}

}  // namespace tervala_plugins

#endif  // TERVALA_EMBEDDING_CLIENT_SINGLE_CHANNEL_PLUGIN_H_
