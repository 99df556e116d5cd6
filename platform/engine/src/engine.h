// A running engine: the bundle, its engine thread and task queue, the UI thread's task
// runner, the channels, registrars and textures, and the view once a view controller has
// taken the engine over.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_ENGINE_H_
#define TERVALA_PLATFORM_ENGINE_SRC_ENGINE_H_

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/engine/include/vela_bundle.h"
#include "platform/engine/include/vela_windows.h"
#include "platform/engine/src/bundle_host.h"
#include "platform/engine/src/bundle_loader.h"
#include "platform/engine/src/channels.h"
#include "platform/engine/src/messenger.h"
#include "platform/engine/src/registrars.h"
#include "platform/engine/src/task_queue.h"
#include "platform/engine/src/textures.h"
#include "platform/engine/src/ui_task_runner.h"
#include "platform/engine/src/view.h"

namespace vela_engine {

// The state behind a VelaDesktopEngine handle. Created, started, shut down and destroyed on
// the UI thread; the bundle runs on the engine thread.
class Engine {
 public:
  // Loads the bundle; on failure writes one line on standard error and returns null.
  static std::unique_ptr<Engine> Create(const VelaDesktopEngineProperties* properties);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  static Engine* FromHandle(VelaDesktopEngine handle) { return reinterpret_cast<Engine*>(handle); }
  VelaDesktopEngine handle() { return reinterpret_cast<VelaDesktopEngine>(this); }

  // --- Native side (UI thread) ---
  VelaDesktopMessenger messenger() { return messenger_->handle(); }
  PluginRegistrar* Registrar(const char* name);
  void SetNextFrameCallback(VelaDesktopOnNextFrame callback, void* user_data);
  void ReloadSystemFonts();

  bool taken_over() const { return taken_over_; }
  // The view controller takes the engine over: the bundle's entry point runs on a new engine
  // thread with `view` as its view.
  bool Start(View* view);
  // Asks the bundle for a frame, after reading the view's size and DPI again. UI thread.
  void ForceRedraw();
  bool HandleTopLevelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                LRESULT* result);
  View* view() { return view_; }
  // The view's size or DPI changed (UI thread): the bundle hears of it on its thread.
  void OnViewMetricsChanged();
  // An input event on the view (UI thread): the bundle gets it on its thread, in order.
  void OnViewInput(const InputEvent& event);
  // Stops the bundle and joins its thread, settles every reply still owed, runs the
  // registrars' destruction handlers and makes the messenger unavailable.
  void Shutdown();

  int64_t RegisterTexture(const VelaDesktopTextureInfo* info);
  bool MarkTextureFrameAvailable(int64_t id);
  void UnregisterTexture(int64_t id, VelaDesktopOnTextureUnregistered callback, void* user_data);

  // --- Bundle side (see vela_bundle.h for the threads) ---
  ChannelRouter& router() { return *router_; }
  bool PostBundleTask(VelaBundleCallback task, void* user_data, uint64_t delay_ms);
  VelaBundleViewMetrics ViewMetrics();
  bool SubmitFrame(const uint8_t* rgba, uint32_t width, uint32_t height, size_t row_bytes);
  bool RequestClose();

  // A bundle callback with its user data.
  template <typename Callback>
  struct Handler {
    Callback callback = nullptr;
    void* user_data = nullptr;
  };
  struct BundleHandlers {
    Handler<VelaBundleViewMetricsHandler> view_metrics;
    Handler<VelaBundleCallback> frame_request;
    Handler<VelaBundleCallback> shutdown;
    Handler<VelaBundleCallback> fonts_changed;
    Handler<VelaBundleTextureHandler> texture;
    Handler<VelaBundlePointerHandler> pointer;
    Handler<VelaBundleKeyHandler> key;
  };
  // Changes the bundle's handlers under their lock.
  template <typename Change>
  void ChangeHandlers(Change&& change) {
    std::lock_guard<std::mutex> lock(handlers_mutex_);
    change(handlers_);
  }

 private:
  Engine() = default;

  BundleHandlers Handlers();
  void RunOnEngineThread(std::function<void()> task);
  void Present(std::shared_ptr<const Frame> frame);
  void ShowPendingFrame();
  void FetchTexture(int64_t id);

  std::unique_ptr<Bundle> bundle_;
  BundleHost host_{};
  TaskQueue queue_;
  std::unique_ptr<UiTaskRunner> ui_;
  Messenger* messenger_ = nullptr;  // One reference is the engine's.
  std::unique_ptr<ChannelRouter> router_;
  std::unique_ptr<RegistrarTable> registrars_;
  TextureTable textures_;
  View* view_ = nullptr;  // Owned by the view controller.
  std::thread thread_;
  bool taken_over_ = false;
  bool shut_down_ = false;

  VelaDesktopOnNextFrame next_frame_callback_ = nullptr;  // UI thread.
  void* next_frame_user_data_ = nullptr;

  std::mutex handlers_mutex_;
  BundleHandlers handlers_;

  std::mutex frame_mutex_;                      // Guards the fields below.
  std::shared_ptr<const Frame> last_frame_;     // The last frame submitted.
  std::shared_ptr<const Frame> frame_to_show_;  // Submitted, not yet shown.
  bool show_posted_ = false;
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_ENGINE_H_
