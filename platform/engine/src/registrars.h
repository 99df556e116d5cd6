// Plug-in registrars: one per plug-in name for the life of an engine, each with the engine's
// messenger, a texture registrar and the view, and a destruction handler that runs on the UI
// thread when the engine shuts down.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_REGISTRARS_H_
#define TERVALA_PLATFORM_ENGINE_SRC_REGISTRARS_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/engine/include/vela_windows.h"

namespace vela_engine {

class Engine;

// The state behind a VelaDesktopTextureRegistrar handle: the engine's textures.
class TextureRegistrar {
 public:
  explicit TextureRegistrar(Engine& engine) : engine_(engine) {}
  static TextureRegistrar* FromHandle(VelaDesktopTextureRegistrar handle) {
    return reinterpret_cast<TextureRegistrar*>(handle);
  }
  VelaDesktopTextureRegistrar handle() {
    return reinterpret_cast<VelaDesktopTextureRegistrar>(this);
  }
  Engine& engine() { return engine_; }

 private:
  Engine& engine_;
};

// The state behind a VelaDesktopPluginRegistrar handle.
class PluginRegistrar {
 public:
  PluginRegistrar(Engine& engine, std::string name)
      : engine_(engine), name_(std::move(name)), textures_(engine) {}
  static PluginRegistrar* FromHandle(VelaDesktopPluginRegistrar handle) {
    return reinterpret_cast<PluginRegistrar*>(handle);
  }
  VelaDesktopPluginRegistrar handle() { return reinterpret_cast<VelaDesktopPluginRegistrar>(this); }

  Engine& engine() { return engine_; }
  TextureRegistrar& textures() { return textures_; }
  void SetDestructionHandler(VelaDesktopOnPluginRegistrarDestroyed handler) {
    destruction_handler_ = handler;
  }
  // Runs the destruction handler, if any, once.
  void NotifyDestroyed();

 private:
  Engine& engine_;
  std::string name_;
  TextureRegistrar textures_;
  VelaDesktopOnPluginRegistrarDestroyed destruction_handler_ = nullptr;
};

// The registrars of one engine, by plug-in name. UI thread.
class RegistrarTable {
 public:
  explicit RegistrarTable(Engine& engine) : engine_(engine) {}
  // The registrar for `name`, created on first request.
  PluginRegistrar* Get(const std::string& name);
  // Runs every registrar's destruction handler, in the order the registrars were created.
  // Registrars asked for meanwhile are created and notified too.
  void NotifyAllDestroyed();

 private:
  Engine& engine_;
  std::map<std::string, std::unique_ptr<PluginRegistrar>> by_name_;
  std::vector<PluginRegistrar*> in_creation_order_;
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_REGISTRARS_H_
