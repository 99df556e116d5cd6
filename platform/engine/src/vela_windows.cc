// The exported C functions of the engine library, over the engine's classes.
#include "platform/engine/include/vela_windows.h"

#include <shellscalingapi.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "platform/engine/include/vela_view_contents.h"
#include "platform/engine/src/engine.h"
#include "platform/engine/src/messenger.h"
#include "platform/engine/src/registrars.h"
#include "platform/engine/src/view.h"

using vela_engine::Engine;
using vela_engine::InputEvent;
using vela_engine::Messenger;
using vela_engine::PluginRegistrar;
using vela_engine::TextureRegistrar;
using vela_engine::View;

namespace {

// A view controller: the engine it took over and the view it created.
struct ViewController {
  std::unique_ptr<Engine> engine;
  std::unique_ptr<View> view;
};

ViewController* ControllerFromHandle(VelaDesktopViewController handle) {
  return reinterpret_cast<ViewController*>(handle);
}

}  // namespace

extern "C" {

VelaDesktopEngine VelaDesktopEngineCreate(const VelaDesktopEngineProperties* properties) {
  std::unique_ptr<Engine> engine = Engine::Create(properties);
  return engine ? engine.release()->handle() : nullptr;
}

bool VelaDesktopEngineDestroy(VelaDesktopEngine engine) {
  if (engine == nullptr) return false;
  if (Engine::FromHandle(engine)->taken_over()) {
    std::fputs("Vela engine: an engine that a view controller owns is destroyed with it.\n",
               stderr);
    return false;
  }
  delete Engine::FromHandle(engine);
  return true;
}

VelaDesktopMessenger VelaDesktopEngineGetMessenger(VelaDesktopEngine engine) {
  return engine == nullptr ? nullptr : Engine::FromHandle(engine)->messenger();
}

VelaDesktopPluginRegistrar VelaDesktopEngineGetPluginRegistrar(VelaDesktopEngine engine,
                                                               const char* plugin_name) {
  if (engine == nullptr) return nullptr;
  PluginRegistrar* registrar = Engine::FromHandle(engine)->Registrar(plugin_name);
  return registrar == nullptr ? nullptr : registrar->handle();
}

void VelaDesktopEngineSetNextFrameCallback(VelaDesktopEngine engine,
                                           VelaDesktopOnNextFrame callback, void* user_data) {
  if (engine != nullptr) Engine::FromHandle(engine)->SetNextFrameCallback(callback, user_data);
}

void VelaDesktopEngineReloadSystemFonts(VelaDesktopEngine engine) {
  if (engine != nullptr) Engine::FromHandle(engine)->ReloadSystemFonts();
}

VelaDesktopViewController VelaDesktopViewControllerCreate(int width, int height,
                                                          VelaDesktopEngine engine) {
  if (engine == nullptr || Engine::FromHandle(engine)->taken_over()) return nullptr;
  Engine* engine_state = Engine::FromHandle(engine);
  std::unique_ptr<View> view = View::Create(
      width, height, [engine_state] { engine_state->OnViewMetricsChanged(); },
      [engine_state](const InputEvent& event) { engine_state->OnViewInput(event); });
  if (!view) return nullptr;
  auto controller = std::make_unique<ViewController>();
  controller->engine.reset(engine_state);
  controller->view = std::move(view);
  controller->engine->Start(controller->view.get());
  return reinterpret_cast<VelaDesktopViewController>(controller.release());
}

void VelaDesktopViewControllerDestroy(VelaDesktopViewController controller) {
  if (controller == nullptr) return;
  std::unique_ptr<ViewController> owned(ControllerFromHandle(controller));
  owned->engine->Shutdown();
  owned->view.reset();
  owned->engine.reset();
}

VelaDesktopView VelaDesktopViewControllerGetView(VelaDesktopViewController controller) {
  return controller == nullptr ? nullptr : ControllerFromHandle(controller)->view->handle();
}

void VelaDesktopViewControllerForceRedraw(VelaDesktopViewController controller) {
  if (controller != nullptr) ControllerFromHandle(controller)->engine->ForceRedraw();
}

bool VelaDesktopViewControllerHandleTopLevelWindowProc(VelaDesktopViewController controller,
                                                       HWND hwnd, UINT message, WPARAM wparam,
                                                       LPARAM lparam, LRESULT* result) {
  if (controller == nullptr) return false;
  return ControllerFromHandle(controller)
      ->engine->HandleTopLevelWindowProc(hwnd, message, wparam, lparam, result);
}

HWND VelaDesktopViewGetHWND(VelaDesktopView view) {
  return view == nullptr ? nullptr : View::FromHandle(view)->window();
}

UINT VelaDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y))) return 0;
  return dpi_x;
}

void VelaDesktopResyncOutputStreams(void) {
  // The host may have reopened the standard streams (attached a console): what was written
  // so far goes out now, and later writes use the streams as they now are.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
}

bool VelaDesktopMessengerSend(VelaDesktopMessenger messenger, const char* channel,
                              const uint8_t* message, size_t message_size) {
  return VelaDesktopMessengerSendWithReply(messenger, channel, message, message_size, nullptr,
                                           nullptr);
}

bool VelaDesktopMessengerSendWithReply(VelaDesktopMessenger messenger, const char* channel,
                                       const uint8_t* message, size_t message_size,
                                       VelaDesktopBinaryReply reply, void* user_data) {
  if (messenger == nullptr) return false;
  bool sent = false;
  Messenger::FromHandle(messenger)->WithRouter([&](vela_engine::ChannelRouter& router) {
    sent = router.SendToBundle(channel, message, message_size, reply, user_data);
  });
  return sent;
}

void VelaDesktopMessengerSetCallback(VelaDesktopMessenger messenger, const char* channel,
                                     VelaDesktopMessageCallback callback, void* user_data) {
  if (messenger == nullptr) return;
  Messenger::FromHandle(messenger)->WithRouter([&](vela_engine::ChannelRouter& router) {
    router.SetNativeHandler(channel, callback, user_data);
  });
}

void VelaDesktopMessengerSendResponse(VelaDesktopMessenger messenger,
                                      const VelaDesktopMessageResponseHandle* handle,
                                      const uint8_t* data, size_t data_size) {
  if (messenger == nullptr) return;
  Messenger::FromHandle(messenger)->WithRouter(
      [&](vela_engine::ChannelRouter& router) { router.RespondToBundle(handle, data, data_size); });
}

VelaDesktopMessenger VelaDesktopMessengerAddRef(VelaDesktopMessenger messenger) {
  if (messenger != nullptr) Messenger::FromHandle(messenger)->AddRef();
  return messenger;
}

void VelaDesktopMessengerRelease(VelaDesktopMessenger messenger) {
  if (messenger != nullptr) Messenger::FromHandle(messenger)->Release();
}

VelaDesktopMessenger VelaDesktopMessengerLock(VelaDesktopMessenger messenger) {
  if (messenger != nullptr) Messenger::FromHandle(messenger)->Lock();
  return messenger;
}

void VelaDesktopMessengerUnlock(VelaDesktopMessenger messenger) {
  if (messenger != nullptr) Messenger::FromHandle(messenger)->Unlock();
}

bool VelaDesktopMessengerIsAvailable(VelaDesktopMessenger messenger) {
  return messenger != nullptr && Messenger::FromHandle(messenger)->IsAvailable();
}

VelaDesktopMessenger VelaDesktopPluginRegistrarGetMessenger(VelaDesktopPluginRegistrar registrar) {
  return registrar == nullptr ? nullptr
                              : PluginRegistrar::FromHandle(registrar)->engine().messenger();
}

VelaDesktopView VelaDesktopPluginRegistrarGetView(VelaDesktopPluginRegistrar registrar) {
  if (registrar == nullptr) return nullptr;
  View* view = PluginRegistrar::FromHandle(registrar)->engine().view();
  return view == nullptr ? nullptr : view->handle();
}

VelaDesktopTextureRegistrar VelaDesktopRegistrarGetTextureRegistrar(
    VelaDesktopPluginRegistrar registrar) {
  return registrar == nullptr ? nullptr
                              : PluginRegistrar::FromHandle(registrar)->textures().handle();
}

void VelaDesktopPluginRegistrarSetDestructionHandler(
    VelaDesktopPluginRegistrar registrar, VelaDesktopOnPluginRegistrarDestroyed callback) {
  if (registrar != nullptr) PluginRegistrar::FromHandle(registrar)->SetDestructionHandler(callback);
}

int64_t VelaDesktopTextureRegistrarRegisterExternalTexture(
    VelaDesktopTextureRegistrar texture_registrar, const VelaDesktopTextureInfo* info) {
  if (texture_registrar == nullptr) return -1;
  return TextureRegistrar::FromHandle(texture_registrar)->engine().RegisterTexture(info);
}

bool VelaDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    VelaDesktopTextureRegistrar texture_registrar, int64_t texture_id) {
  if (texture_registrar == nullptr) return false;
  return TextureRegistrar::FromHandle(texture_registrar)
      ->engine()
      .MarkTextureFrameAvailable(texture_id);
}

void VelaDesktopTextureRegistrarUnregisterExternalTexture(
    VelaDesktopTextureRegistrar texture_registrar, int64_t texture_id,
    VelaDesktopOnTextureUnregistered callback, void* user_data) {
  if (texture_registrar == nullptr) return;
  TextureRegistrar::FromHandle(texture_registrar)
      ->engine()
      .UnregisterTexture(texture_id, callback, user_data);
}

bool VelaDesktopViewReadContents(HWND view_window, VelaDesktopViewFrameInfo* info, uint8_t* pixels,
                                 size_t pixels_size) {
  return View::ReadContents(view_window, info, pixels, pixels_size);
}

}  // extern "C"
