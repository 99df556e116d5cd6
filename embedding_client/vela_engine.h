#ifndef TERVALA_EMBEDDING_CLIENT_VELA_ENGINE_H_
#define TERVALA_EMBEDDING_CLIENT_VELA_ENGINE_H_

// The running engine: created from an EngineProject, it offers the engine's binary
// messenger, its plug-in registrars, the next-frame callback and font reloading.

#include <functional>
#include <memory>
#include <string>

#include "embedding_client/binary_messenger.h"
#include "embedding_client/binary_messenger_impl.h"
#include "embedding_client/engine_project.h"
#include "embedding_client/plugin_registry.h"
#include "vela_windows.h"

namespace vela {

// An engine of the engine library. It owns the engine until a view controller takes the
// handle over (ReleaseEngineHandle); after that it keeps working on the handle while the
// view controller owns the engine. Used on the UI thread.
class VelaEngine : public PluginRegistry {
 public:
  // Creates the engine for `project`. When the engine library refuses, the object has no
  // engine: its registrar requests fail and its messenger must not be used.
  explicit VelaEngine(const EngineProject& project);
  ~VelaEngine() override;

  // PluginRegistry: null, with a message on standard error, when there is no engine.
  VelaDesktopPluginRegistrar RegistrarForPlugin(const std::string& plugin_name) override;

  // Gives up ownership of the engine and returns its handle (null when there is none).
  VelaDesktopEngine ReleaseEngineHandle();

  // Runs `callback` once after the engine's next frame. A later call replaces a callback
  // that has not run yet.
  void SetNextFrameCallback(std::function<void()> callback);

  // Makes the engine pick up changes to the system's fonts.
  void ReloadSystemFonts();

  // The engine's messenger.
  BinaryMessenger& messenger() { return *messenger_; }

  // Whether the engine library created an engine.
  bool is_running() const { return engine_ != nullptr; }

 private:
  static void OnNextFrame(void* user_data);

  VelaDesktopEngine engine_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_VELA_ENGINE_H_
