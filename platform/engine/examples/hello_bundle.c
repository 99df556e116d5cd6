/* A complete bundle: it paints the view with a vertical gradient whenever a frame is wanted
 * or the view changes size, answers "ping" with "pong" on the channel "hello/ping", and closes
 * the application when sent anything on "hello/close". Build it as data/app.so beside the
 * executable. */
#include <stdlib.h>

#include "vela_bundle.h"

static const VelaBundleHost* g_host;

static void Paint(void* user_data) {
  (void)user_data;
  VelaBundleViewMetrics metrics;
  g_host->get_view_metrics(g_host, &metrics);
  uint8_t* rgba = malloc((size_t)metrics.width * metrics.height * 4 + 4);
  if (rgba == NULL) return;
  for (uint32_t y = 0; y < metrics.height; ++y) {
    const uint8_t shade = (uint8_t)(metrics.height > 1 ? 255u * y / (metrics.height - 1) : 0);
    for (uint32_t x = 0; x < metrics.width; ++x) {
      uint8_t* pixel = rgba + ((size_t)y * metrics.width + x) * 4;
      pixel[0] = 0x20;
      pixel[1] = shade;
      pixel[2] = 0xc0;
      pixel[3] = 0xff;
    }
  }
  g_host->submit_frame(g_host, rgba, metrics.width, metrics.height, 0);
  free(rgba);
}

static void OnMetrics(const VelaBundleViewMetrics* metrics, void* user_data) {
  (void)metrics;
  Paint(user_data);
}

static void OnPing(const char* channel, const uint8_t* data, size_t size,
                   VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)user_data;
  g_host->send_response(g_host, response, (const uint8_t*)"pong", 4);
}

static void OnClose(const char* channel, const uint8_t* data, size_t size,
                    VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)user_data;
  g_host->send_response(g_host, response, NULL, 0);
  g_host->request_close(g_host);
}

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  (void)argc;
  (void)argv;
  g_host = host;
  host->set_frame_request_handler(host, Paint, NULL);
  host->set_view_metrics_handler(host, OnMetrics, NULL);
  host->set_message_handler(host, "hello/ping", OnPing, NULL);
  host->set_message_handler(host, "hello/close", OnClose, NULL);
}
