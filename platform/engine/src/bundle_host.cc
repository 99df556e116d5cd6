#include "platform/engine/src/bundle_host.h"

#include "platform/engine/src/engine.h"

namespace vela_engine {
namespace {

Engine* EngineOf(const VelaBundleHost* host) {
  return host == nullptr ? nullptr : reinterpret_cast<const BundleHost*>(host)->engine;
}

bool BundleSendMessage(const VelaBundleHost* host, const char* channel, const uint8_t* data,
                       size_t size, VelaBundleReplyCallback reply, void* user_data) {
  Engine* engine = EngineOf(host);
  return engine != nullptr && engine->router().SendToNative(channel, data, size, reply, user_data);
}

bool SetMessageHandler(const VelaBundleHost* host, const char* channel,
                       VelaBundleMessageHandler handler, void* user_data) {
  Engine* engine = EngineOf(host);
  return engine != nullptr && engine->router().SetBundleHandler(channel, handler, user_data);
}

bool SendResponse(const VelaBundleHost* host, VelaBundleResponse* response, const uint8_t* data,
                  size_t size) {
  Engine* engine = EngineOf(host);
  return engine != nullptr && engine->router().RespondToNative(response, data, size);
}

bool PostTask(const VelaBundleHost* host, VelaBundleCallback task, void* user_data,
              uint64_t delay_ms) {
  Engine* engine = EngineOf(host);
  return engine != nullptr && engine->PostBundleTask(task, user_data, delay_ms);
}

void GetViewMetrics(const VelaBundleHost* host, VelaBundleViewMetrics* metrics) {
  Engine* engine = EngineOf(host);
  if (engine == nullptr || metrics == nullptr) return;
  *metrics = engine->ViewMetrics();
}

void SetViewMetricsHandler(const VelaBundleHost* host, VelaBundleViewMetricsHandler handler,
                           void* user_data) {
  if (Engine* engine = EngineOf(host)) {
    engine->ChangeHandlers([&](Engine::BundleHandlers& handlers) {
      handlers.view_metrics = {handler, user_data};
    });
  }
}

void SetFrameRequestHandler(const VelaBundleHost* host, VelaBundleCallback handler,
                            void* user_data) {
  if (Engine* engine = EngineOf(host)) {
    engine->ChangeHandlers([&](Engine::BundleHandlers& handlers) {
      handlers.frame_request = {handler, user_data};
    });
  }
}

bool SubmitFrame(const VelaBundleHost* host, const uint8_t* rgba, uint32_t width, uint32_t height,
                 size_t row_bytes) {
  Engine* engine = EngineOf(host);
  return engine != nullptr && engine->SubmitFrame(rgba, width, height, row_bytes);
}

bool RequestClose(const VelaBundleHost* host) {
  Engine* engine = EngineOf(host);
  return engine != nullptr && engine->RequestClose();
}

void SetShutdownHandler(const VelaBundleHost* host, VelaBundleCallback handler, void* user_data) {
  if (Engine* engine = EngineOf(host)) {
    engine->ChangeHandlers([&](Engine::BundleHandlers& handlers) {
      handlers.shutdown = {handler, user_data};
    });
  }
}

void SetFontsChangedHandler(const VelaBundleHost* host, VelaBundleCallback handler,
                            void* user_data) {
  if (Engine* engine = EngineOf(host)) {
    engine->ChangeHandlers([&](Engine::BundleHandlers& handlers) {
      handlers.fonts_changed = {handler, user_data};
    });
  }
}

void SetTextureHandler(const VelaBundleHost* host, VelaBundleTextureHandler handler,
                       void* user_data) {
  if (Engine* engine = EngineOf(host)) {
    engine->ChangeHandlers([&](Engine::BundleHandlers& handlers) {
      handlers.texture = {handler, user_data};
    });
  }
}

void SetPointerHandler(const VelaBundleHost* host, VelaBundlePointerHandler handler,
                       void* user_data) {
  if (Engine* engine = EngineOf(host)) {
    engine->ChangeHandlers([&](Engine::BundleHandlers& handlers) {
      handlers.pointer = {handler, user_data};
    });
  }
}

void SetKeyHandler(const VelaBundleHost* host, VelaBundleKeyHandler handler, void* user_data) {
  if (Engine* engine = EngineOf(host)) {
    engine->ChangeHandlers([&](Engine::BundleHandlers& handlers) {
      handlers.key = {handler, user_data};
    });
  }
}

}  // namespace

void InitBundleHost(BundleHost* host, Engine* engine) {
  VelaBundleHost& table = host->table;
  table.struct_size = sizeof(VelaBundleHost);
  table.send_message = &BundleSendMessage;
  table.set_message_handler = &SetMessageHandler;
  table.send_response = &SendResponse;
  table.post_task = &PostTask;
  table.get_view_metrics = &GetViewMetrics;
  table.set_view_metrics_handler = &SetViewMetricsHandler;
  table.set_frame_request_handler = &SetFrameRequestHandler;
  table.submit_frame = &SubmitFrame;
  table.request_close = &RequestClose;
  table.set_shutdown_handler = &SetShutdownHandler;
  table.set_fonts_changed_handler = &SetFontsChangedHandler;
  table.set_texture_handler = &SetTextureHandler;
  table.set_pointer_handler = &SetPointerHandler;
  table.set_key_handler = &SetKeyHandler;
  host->engine = engine;
}

}  // namespace vela_engine
