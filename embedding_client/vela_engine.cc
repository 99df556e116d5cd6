#include "embedding_client/vela_engine.h"

#include <utility>
#include <vector>

#include "embedding_client/error_line.h"

namespace vela {

VelaEngine::VelaEngine(const EngineProject& project) {
  // The record refers to the project's own strings; they need to last only for the call.
  VelaDesktopEngineProperties properties = {};
  properties.assets_path = project.assets_path.c_str();
  properties.icu_data_path = project.icu_data_path.c_str();
  properties.aot_library_path = project.aot_library_path.c_str();
  properties.entrypoint = project.entrypoint.c_str();
  properties.option1 = project.engine_option_1;
  properties.option2 = project.engine_option_2;
  properties.option3 = project.engine_option_3;

  std::vector<const char*> arguments;
  arguments.reserve(project.entrypoint_arguments.size());
  for (const std::string& argument : project.entrypoint_arguments) {
    arguments.push_back(argument.c_str());
  }
  properties.entrypoint_argc = static_cast<int32_t>(arguments.size());
  properties.entrypoint_argv = arguments.empty() ? nullptr : arguments.data();

  engine_ = VelaDesktopEngineCreate(&properties);
  VelaDesktopMessenger messenger =
      engine_ != nullptr ? VelaDesktopEngineGetMessenger(engine_) : nullptr;
  messenger_ = std::make_unique<BinaryMessengerImpl>(messenger);
}

VelaEngine::~VelaEngine() {
  if (engine_ != nullptr && owns_engine_) VelaDesktopEngineDestroy(engine_);
  engine_ = nullptr;
  // The pending next-frame callback and the messenger go with the members, in that
  // order, after the engine that could call them.
}

VelaDesktopPluginRegistrar VelaEngine::RegistrarForPlugin(const std::string& plugin_name) {
  if (engine_ == nullptr) {
    internal::WriteErrorLine(
        "Cannot get plugin registrar on an engine that isn't running; call Run first.");
    return nullptr;
  }
  return VelaDesktopEngineGetPluginRegistrar(engine_, plugin_name.c_str());
}

VelaDesktopEngine VelaEngine::ReleaseEngineHandle() {
  owns_engine_ = false;
  return engine_;
}

void VelaEngine::SetNextFrameCallback(std::function<void()> callback) {
  next_frame_callback_ = std::move(callback);
  if (engine_ == nullptr) return;
  VelaDesktopEngineSetNextFrameCallback(engine_, OnNextFrame, this);
}

void VelaEngine::ReloadSystemFonts() {
  if (engine_ == nullptr) return;
  VelaDesktopEngineReloadSystemFonts(engine_);
}

void VelaEngine::OnNextFrame(void* user_data) {
  auto* engine = static_cast<VelaEngine*>(user_data);
  // Taken out before it runs, so that it may set the next callback itself.
  std::function<void()> callback = std::move(engine->next_frame_callback_);
  engine->next_frame_callback_ = nullptr;
  if (callback) callback();
}

}  // namespace vela
