// A bundle in C++ for the engine's tests: it reports every change of the view's metrics and
// every texture frame to native code, and upper-cases what it is sent.
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "vela_bundle.h"

namespace {

const VelaBundleHost* g_host = nullptr;

void SendText(const char* channel, const std::string& text) {
  g_host->send_message(g_host, channel, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                       nullptr, nullptr);
}

std::string Describe(const VelaBundleViewMetrics& metrics) {
  return std::to_string(metrics.width) + "x" + std::to_string(metrics.height) + "@" +
         std::to_string(metrics.dpi);
}

// "down 10,-4 buttons=1 button=1 wheel=0 mods=3"
std::string Describe(const VelaBundlePointerEvent& event) {
  static const char* const kKinds[] = {"move", "down", "up", "wheel"};
  return std::string(event.kind < 4 ? kKinds[event.kind] : "?") + " " + std::to_string(event.x) +
         "," + std::to_string(event.y) + " buttons=" + std::to_string(event.buttons) +
         " button=" + std::to_string(event.button) + " wheel=" + std::to_string(event.wheel_delta) +
         " mods=" + std::to_string(event.modifiers);
}

// "keydown 65 mods=2 repeat=0", "char <text> mods=0", "focus-gained"
std::string Describe(const VelaBundleKeyEvent& event) {
  switch (event.kind) {
    case VELA_BUNDLE_KEY_DOWN:
    case VELA_BUNDLE_KEY_UP:
      return std::string(event.kind == VELA_BUNDLE_KEY_DOWN ? "keydown " : "keyup ") +
             std::to_string(event.key_code) + " mods=" + std::to_string(event.modifiers) +
             " repeat=" + std::to_string(event.repeat);
    case VELA_BUNDLE_KEY_CHAR:
      return std::string("char ") + event.text + " mods=" + std::to_string(event.modifiers);
    case VELA_BUNDLE_KEY_FOCUS_GAINED:
      return "focus-gained";
    case VELA_BUNDLE_KEY_FOCUS_LOST:
      return "focus-lost";
    default:
      return "?";
  }
}

}  // namespace

extern "C" VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int,
                                                   const char* const*) {
  g_host = host;
  host->set_message_handler(
      host, "cc/upper",
      [](const char*, const uint8_t* data, size_t size, VelaBundleResponse* response, void*) {
        std::string text(reinterpret_cast<const char*>(data), size);
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        g_host->send_response(g_host, response, reinterpret_cast<const uint8_t*>(text.data()),
                              text.size());
      },
      nullptr);
  host->set_message_handler(
      host, "cc/throw",
      [](const char*, const uint8_t*, size_t, VelaBundleResponse*, void*) {
        throw std::runtime_error("thrown by the bundle");
      },
      nullptr);
  host->set_view_metrics_handler(
      host,
      [](const VelaBundleViewMetrics* metrics, void*) {
        SendText("native/metrics", Describe(*metrics));
      },
      nullptr);
  if (VELA_BUNDLE_HOST_HAS(host, set_pointer_handler)) {
    host->set_pointer_handler(
        host,
        [](const VelaBundlePointerEvent* event, void*) {
          SendText("native/input", Describe(*event));
        },
        nullptr);
  }
  if (VELA_BUNDLE_HOST_HAS(host, set_key_handler)) {
    host->set_key_handler(
        host,
        [](const VelaBundleKeyEvent* event, void*) { SendText("native/input", Describe(*event)); },
        nullptr);
  }
  host->set_texture_handler(
      host,
      [](int64_t id, const uint8_t* rgba, uint32_t width, uint32_t height, void*) {
        char text[96];
        std::snprintf(text, sizeof(text), "%lld:%ux%u:%02x%02x%02x%02x", static_cast<long long>(id),
                      width, height, rgba[0], rgba[1], rgba[2], rgba[3]);
        SendText("native/texture", text);
      },
      nullptr);
}
