#include "platform/engine/src/engine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

namespace vela_engine {
namespace {

// The largest frame accepted: 16384 x 16384 pixels.
constexpr uint32_t kMaxFrameSide = 16384;
// The longest task delay, about 95 years: far enough, and inside the clock's range.
constexpr uint64_t kMaxTaskDelayMs = 3'000'000'000'000;

}  // namespace

std::unique_ptr<Engine> Engine::Create(const VelaDesktopEngineProperties* properties) {
  std::string error;
  std::unique_ptr<Bundle> bundle = Bundle::Load(properties, &error);
  if (!bundle) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return nullptr;
  }
  std::unique_ptr<UiTaskRunner> ui = UiTaskRunner::Create();
  if (!ui) {
    std::fputs("Vela engine: cannot start: the engine's task window cannot be created\n", stderr);
    return nullptr;
  }
  std::unique_ptr<Engine> engine(new Engine());
  engine->bundle_ = std::move(bundle);
  engine->ui_ = std::move(ui);
  InitBundleHost(&engine->host_, engine.get());
  engine->messenger_ = new Messenger();
  engine->router_ =
      std::make_unique<ChannelRouter>(engine->queue_, *engine->ui_, engine->messenger_->handle());
  engine->messenger_->Attach(engine->router_.get());
  engine->registrars_ = std::make_unique<RegistrarTable>(*engine);
  return engine;
}

Engine::~Engine() { Shutdown(); }

PluginRegistrar* Engine::Registrar(const char* name) {
  if (name == nullptr || shut_down_) return nullptr;
  return registrars_->Get(name);
}

void Engine::SetNextFrameCallback(VelaDesktopOnNextFrame callback, void* user_data) {
  next_frame_callback_ = callback;
  next_frame_user_data_ = user_data;
}

void Engine::RunOnEngineThread(std::function<void()> task) { queue_.Post(std::move(task)); }

Engine::BundleHandlers Engine::Handlers() {
  std::lock_guard<std::mutex> lock(handlers_mutex_);
  return handlers_;
}

void Engine::ReloadSystemFonts() {
  RunOnEngineThread([this] {
    const Handler<VelaBundleCallback> handler = Handlers().fonts_changed;
    if (handler.callback != nullptr) handler.callback(handler.user_data);
  });
}

bool Engine::Start(View* view) {
  if (taken_over_ || shut_down_ || view == nullptr) return false;
  taken_over_ = true;
  view_ = view;
  thread_ = std::thread([this] {
    RunGuarded([this] { bundle_->RunEntryPoint(&host_.table); });
    queue_.Run();
  });
  return true;
}

void Engine::OnViewMetricsChanged() {
  RunOnEngineThread([this] {
    const Handler<VelaBundleViewMetricsHandler> handler = Handlers().view_metrics;
    if (handler.callback == nullptr) return;
    const VelaBundleViewMetrics metrics = ViewMetrics();
    handler.callback(&metrics, handler.user_data);
  });
}

void Engine::OnViewInput(const InputEvent& event) {
  RunOnEngineThread([this, event] {
    const BundleHandlers handlers = Handlers();
    if (event.is_pointer) {
      if (handlers.pointer.callback != nullptr) {
        handlers.pointer.callback(&event.pointer, handlers.pointer.user_data);
      }
      return;
    }
    if (handlers.key.callback == nullptr) return;
    VelaBundleKeyEvent key = event.key;
    key.text = event.text.c_str();
    handlers.key.callback(&key, handlers.key.user_data);
  });
}

void Engine::ForceRedraw() {
  // A host places the view in its window at the size the view was made with, so the view
  // gets no WM_SIZE and would keep the DPI of a view without a window: its metrics are read
  // again before the frame is asked for, so that the frame fits the window's monitor.
  if (view_ != nullptr) view_->UpdateSize();
  RunOnEngineThread([this] {
    const Handler<VelaBundleCallback> handler = Handlers().frame_request;
    if (handler.callback != nullptr) {
      handler.callback(handler.user_data);
      return;
    }
    // Without a frame request handler the last frame is shown again, or a cleared one.
    std::shared_ptr<const Frame> frame;
    {
      std::lock_guard<std::mutex> lock(frame_mutex_);
      frame = last_frame_;
    }
    if (!frame) {
      const VelaBundleViewMetrics metrics = ViewMetrics();
      auto cleared = std::make_shared<Frame>();
      cleared->width = std::min(metrics.width, kMaxFrameSide);
      cleared->height = std::min(metrics.height, kMaxFrameSide);
      cleared->pixels.assign(static_cast<size_t>(cleared->width) * cleared->height * 4, 0);
      frame = std::move(cleared);
    }
    Present(std::move(frame));
  });
}

bool Engine::HandleTopLevelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                      LRESULT* result) {
  (void)lparam;
  if (view_ == nullptr) return false;
  switch (message) {
    case WM_DPICHANGED:
      // Observed, not consumed: the host resizes its window for the new DPI.
      view_->SetDpi(LOWORD(wparam));
      return false;
    case WM_SETFOCUS:
      // Keyboard focus given to the top-level window goes on to the view inside it.
      if (view_->window() == nullptr || !IsChild(window, view_->window())) return false;
      SetFocus(view_->window());
      if (result != nullptr) *result = 0;
      return true;
    default:
      return false;
  }
}

void Engine::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (thread_.joinable()) {
    // The bundle's last calls, on its own thread: the reply callbacks still owed, then its
    // shutdown handler. Tasks still queued are dropped.
    queue_.Stop([this] {
      router_->CloseBundleSide();
      const Handler<VelaBundleCallback> handler = Handlers().shutdown;
      if (handler.callback != nullptr) handler.callback(handler.user_data);
    });
    thread_.join();
  } else {
    // The bundle never ran: nothing of it is owed anything.
    queue_.Stop(nullptr);
    queue_.Discard();
    router_->CloseBundleSide();
  }
  router_->CloseNativeSide();
  ui_->Settle();
  registrars_->NotifyAllDestroyed();
  ui_->Shutdown();
  next_frame_callback_ = nullptr;
  messenger_->Detach();
  messenger_->Release();
  view_ = nullptr;
}

int64_t Engine::RegisterTexture(const VelaDesktopTextureInfo* info) {
  if (shut_down_) return -1;
  return textures_.Register(info);
}

bool Engine::MarkTextureFrameAvailable(int64_t id) {
  const TextureTable::MarkResult result = textures_.Mark(id);
  if (result.fetch_needed) RunOnEngineThread([this, id] { FetchTexture(id); });
  return result.registered;
}

void Engine::FetchTexture(int64_t id) {
  const VelaBundleViewMetrics metrics = ViewMetrics();
  std::shared_ptr<const Frame> frame = textures_.Fetch(id, metrics.width, metrics.height);
  if (!frame) return;
  const Handler<VelaBundleTextureHandler> handler = Handlers().texture;
  if (handler.callback != nullptr) {
    handler.callback(id, frame->pixels.data(), frame->width, frame->height, handler.user_data);
  }
}

namespace {

// Removes a texture and queues its completion callback for the UI thread when destroyed:
// after the task that holds it has run on the engine thread, or when that task is dropped
// because the engine stopped first. Either way the removal happens once and never while the
// engine thread could be fetching from the texture's source.
class TextureRemoval {
 public:
  TextureRemoval(TextureTable& textures, UiTaskRunner& ui, int64_t id,
                 VelaDesktopOnTextureUnregistered callback, void* user_data)
      : textures_(textures), ui_(ui), id_(id), callback_(callback), user_data_(user_data) {}
  TextureRemoval(const TextureRemoval&) = delete;
  TextureRemoval& operator=(const TextureRemoval&) = delete;
  ~TextureRemoval() {
    textures_.Remove(id_);
    if (callback_ == nullptr) return;
    auto callback = callback_;
    void* user_data = user_data_;
    if (!ui_.Post([callback, user_data] { callback(user_data); }, UiTaskRunner::AtShutdown::kRun) &&
        ui_.OnUiThread()) {
      callback(user_data);
    }
  }

 private:
  TextureTable& textures_;
  UiTaskRunner& ui_;
  int64_t id_;
  VelaDesktopOnTextureUnregistered callback_;
  void* user_data_;
};

}  // namespace

void Engine::UnregisterTexture(int64_t id, VelaDesktopOnTextureUnregistered callback,
                               void* user_data) {
  auto removal = std::make_shared<TextureRemoval>(textures_, *ui_, id, callback, user_data);
  if (thread_.joinable() && !shut_down_) {
    queue_.Post([removal] {});
  }
  // Otherwise no engine thread fetches: the last reference, dropped here, removes at once.
}

bool Engine::PostBundleTask(VelaBundleCallback task, void* user_data, uint64_t delay_ms) {
  if (task == nullptr) return false;
  const auto delay = std::chrono::milliseconds(std::min(delay_ms, kMaxTaskDelayMs));
  return queue_.Post([task, user_data] { task(user_data); }, delay);
}

VelaBundleViewMetrics Engine::ViewMetrics() {
  if (view_ == nullptr) return VelaBundleViewMetrics{};
  return view_->Metrics();
}

bool Engine::SubmitFrame(const uint8_t* rgba, uint32_t width, uint32_t height, size_t row_bytes) {
  if (width > kMaxFrameSide || height > kMaxFrameSide) return false;
  const size_t packed_row = static_cast<size_t>(width) * 4;
  if (row_bytes == 0) row_bytes = packed_row;
  if (row_bytes < packed_row) return false;
  if (rgba == nullptr && width != 0 && height != 0) return false;
  auto frame = std::make_shared<Frame>();
  frame->width = width;
  frame->height = height;
  frame->pixels.resize(packed_row * height);
  for (uint32_t row = 0; row < height && packed_row > 0; ++row) {
    std::copy_n(rgba + row * row_bytes, packed_row, frame->pixels.data() + row * packed_row);
  }
  Present(std::move(frame));
  return true;
}

void Engine::Present(std::shared_ptr<const Frame> frame) {
  std::lock_guard<std::mutex> lock(frame_mutex_);
  last_frame_ = frame;
  frame_to_show_ = std::move(frame);
  // Frames that come faster than the UI thread shows them replace each other.
  if (!show_posted_) show_posted_ = ui_->Post([this] { ShowPendingFrame(); });
}

void Engine::ShowPendingFrame() {
  std::shared_ptr<const Frame> frame;
  {
    std::lock_guard<std::mutex> lock(frame_mutex_);
    frame = std::move(frame_to_show_);
    show_posted_ = false;
  }
  if (!frame || view_ == nullptr) return;
  view_->Show(std::move(frame));
  VelaDesktopOnNextFrame callback = next_frame_callback_;
  void* user_data = next_frame_user_data_;
  next_frame_callback_ = nullptr;
  next_frame_user_data_ = nullptr;
  if (callback != nullptr) callback(user_data);
}

bool Engine::RequestClose() {
  if (view_ == nullptr) return false;
  HWND top_level = view_->TopLevelWindow();
  return top_level != nullptr && PostMessageW(top_level, WM_CLOSE, 0, 0) != FALSE;
}

}  // namespace vela_engine
