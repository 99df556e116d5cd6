/*
 * The smallest application bundle: it fills its view with the application's colours,
 * drawing a frame whenever the host asks for one and whenever the view changes size.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "vela_bundle.h"

/* The largest frame side the engine accepts. */
#define MAX_FRAME_SIDE 16384u

/* Whether a frame was drawn yet; touched on the engine thread only. */
static int g_drew_a_frame = 0;

static void Draw(const VelaBundleHost* host) {
  VelaBundleViewMetrics metrics;
  host->get_view_metrics(host, &metrics);
  const uint32_t width = metrics.width < MAX_FRAME_SIDE ? metrics.width : MAX_FRAME_SIDE;
  const uint32_t height = metrics.height < MAX_FRAME_SIDE ? metrics.height : MAX_FRAME_SIDE;
  if (width == 0 || height == 0) return;

  uint8_t* pixels = malloc((size_t)width * height * 4);
  if (pixels == NULL) return;
  /* A slate background that brightens toward the bottom, with a teal band across the
   * middle third. */
  for (uint32_t y = 0; y < height; ++y) {
    const int in_band = y >= height / 3 && y < 2 * height / 3;
    const uint8_t shade = (uint8_t)(40 + (uint64_t)y * 40 / height);
    uint8_t* row = pixels + (size_t)y * width * 4;
    for (uint32_t x = 0; x < width; ++x) {
      row[4 * x + 0] = in_band ? 0 : shade;
      row[4 * x + 1] = in_band ? 150 : (uint8_t)(shade + 8);
      row[4 * x + 2] = in_band ? 136 : (uint8_t)(shade + 24);
      row[4 * x + 3] = 255;
    }
  }
  const bool submitted = host->submit_frame(host, pixels, width, height, 0);
  free(pixels);

  /* Say once that the application runs: without a display its window is not seen. */
  if (submitted && !g_drew_a_frame) {
    g_drew_a_frame = 1;
    printf(
        "Tervala is running (view of %u x %u pixels). Close the window or press Ctrl+C to quit.\n",
        (unsigned)width, (unsigned)height);
    fflush(stdout);
  }
}

static void OnFrameRequest(void* user_data) { Draw((const VelaBundleHost*)user_data); }

static void OnViewMetrics(const VelaBundleViewMetrics* metrics, void* user_data) {
  (void)metrics;
  Draw((const VelaBundleHost*)user_data);
}

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  (void)argc;
  (void)argv;
  host->set_frame_request_handler(host, OnFrameRequest, (void*)host);
  host->set_view_metrics_handler(host, OnViewMetrics, (void*)host);
}
