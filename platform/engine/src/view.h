// The engine's view: a window of its own class that the host makes a child of its top-level
// window, the frame it shows, and its metrics (size and DPI) as the engine thread reads them.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_VIEW_H_
#define TERVALA_PLATFORM_ENGINE_SRC_VIEW_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/engine/include/vela_bundle.h"
#include "platform/engine/include/vela_view_contents.h"
#include "platform/engine/src/view_input.h"

namespace vela_engine {

// A frame of RGBA pixels, rows without padding.
struct Frame {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;
};

// The state behind a VelaDesktopView handle. Created and destroyed on the UI thread.
class View {
 public:
  // Called on the UI thread when the view's size or DPI changed.
  using MetricsChanged = std::function<void()>;
  // Called on the UI thread with each input event of the view, in order.
  using InputReceived = std::function<void(const InputEvent&)>;

  // Creates the view window (message-only until the host re-parents it) of the given size;
  // null when the window cannot be created.
  static std::unique_ptr<View> Create(int width, int height, MetricsChanged metrics_changed,
                                      InputReceived input_received);
  ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  static View* FromHandle(VelaDesktopView handle) { return reinterpret_cast<View*>(handle); }
  VelaDesktopView handle() { return reinterpret_cast<VelaDesktopView>(this); }
  // The view window; null once it has been destroyed.
  HWND window() const { return window_; }

  // Any thread.
  VelaBundleViewMetrics Metrics();
  // The frame shown last; null before the first one. Any thread.
  std::shared_ptr<const Frame> Contents();

  // Makes `frame` the view's contents (UI thread).
  void Show(std::shared_ptr<const Frame> frame);

  // Notes the DPI the top-level window moved to (UI thread).
  void SetDpi(UINT dpi);

  // Reads the window's size and DPI again; the metrics handler hears of a change (UI thread).
  void UpdateSize();

  // The window's top-level window; null while the view is not in one.
  HWND TopLevelWindow() const;

  // The view that owns `window`, locked for reading its contents; for the introspection API.
  static bool ReadContents(HWND window, VelaDesktopViewFrameInfo* info, uint8_t* pixels,
                           size_t pixels_size);

 private:
  View(MetricsChanged metrics_changed, InputReceived input_received)
      : metrics_changed_(std::move(metrics_changed)), input_received_(std::move(input_received)) {}
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Handles an input message as a window of its own does: a click takes the keyboard focus
  // and a pressed button captures the pointer until every button is released. The bundle
  // hears of the event. False when `message` is no input message.
  bool HandleInput(UINT message, WPARAM wparam, LPARAM lparam);
  // Forgets the window (destroyed, or about to be). UI thread.
  void ForgetWindow();

  std::atomic<HWND> window_{nullptr};  // Read by the engine thread too.
  MetricsChanged metrics_changed_;
  InputReceived input_received_;
  ViewInput input_;  // UI thread.

  std::mutex mutex_;  // Guards the fields below.
  VelaBundleViewMetrics metrics_{};
  std::shared_ptr<const Frame> contents_;
  uint64_t frame_count_ = 0;
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_VIEW_H_
