/* A bundle built against the first version of the bundle header (tests/v1/vela_bundle.h), whose
 * host table ends before the input functions: it must run on today's engine. It answers
 * "v1/check" with what it knows of the table, and "v1/draw" by drawing a frame of the view's
 * size from a task, which uses the table's members from the first to the last it knows. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vela_bundle.h"

static const VelaBundleHost* g_host;

static void Respond(VelaBundleResponse* response, const char* text) {
  g_host->send_response(g_host, response, (const uint8_t*)text, strlen(text));
}

/* "known=<the table's size this bundle knows> given=<the engine's> texture=<1 when the last
 * member of the first version is there>" */
static void Check(const char* channel, const uint8_t* data, size_t size,
                  VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)user_data;
  char text[128];
  snprintf(text, sizeof(text), "known=%zu given=%zu texture=%d", sizeof(VelaBundleHost),
           g_host->struct_size, VELA_BUNDLE_HOST_HAS(g_host, set_texture_handler) ? 1 : 0);
  Respond(response, text);
}

static void DrawTask(void* user_data) {
  VelaBundleViewMetrics metrics;
  g_host->get_view_metrics(g_host, &metrics);
  const size_t pixels = (size_t)metrics.width * metrics.height;
  uint8_t* rgba = malloc(pixels * 4 + 4);
  for (size_t i = 0; i < pixels; ++i) {
    rgba[i * 4] = 0x12;
    rgba[i * 4 + 1] = 0x34;
    rgba[i * 4 + 2] = 0x56;
    rgba[i * 4 + 3] = 0xff;
  }
  const int shown = g_host->submit_frame(g_host, rgba, metrics.width, metrics.height, 0);
  free(rgba);
  Respond((VelaBundleResponse*)user_data, shown ? "drawn" : "not drawn");
}

static void Draw(const char* channel, const uint8_t* data, size_t size,
                 VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)user_data;
  g_host->post_task(g_host, DrawTask, response, 0);
}

static void Texture(int64_t id, const uint8_t* rgba, uint32_t width, uint32_t height,
                    void* user_data) {
  (void)id;
  (void)rgba;
  (void)width;
  (void)height;
  (void)user_data;
}

static void Shutdown(void* user_data) { (void)user_data; }

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  (void)argc;
  (void)argv;
  g_host = host;
  host->set_message_handler(host, "v1/check", Check, NULL);
  host->set_message_handler(host, "v1/draw", Draw, NULL);
  host->set_shutdown_handler(host, Shutdown, NULL);
  if (VELA_BUNDLE_HOST_HAS(host, set_texture_handler)) {
    host->set_texture_handler(host, Texture, NULL);
  }
}
