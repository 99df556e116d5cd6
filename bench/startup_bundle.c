/* The application side of the start-up benchmark, a bundle that stands in for the sample
 * application as data/app.so in a copy of tervala_app's folder.
 *
 * It does what the sample does first (submits a frame of the view's size, then asks the
 * cloud-app core plug-in to initialise the core) and prints, on standard output, when each
 * step happened on CLOCK_MONOTONIC, in nanoseconds:
 *
 *   startup entry <ns>           the entry point was called
 *   startup frame <ns> <w>x<h>   the first frame was submitted (the window is shown after it)
 *   startup reply <ns> <bytes>   the first reply of initializeCore arrived
 *
 * Then it asks the application to close, unless its first argument is "--stay": the
 * program then stays idle until it is stopped, for the idle-CPU measurement. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "vela_bundle.h"

static const VelaBundleHost* g_host;
static int g_stay;

static const char kInitializeCoreChannel[] =
    "dev.vela.bridge.nimbus_core_platform_interface.NimbusCoreHostApi.initializeCore";

static unsigned long long NowNanoseconds(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (unsigned long long)now.tv_sec * 1000000000ull + (unsigned long long)now.tv_nsec;
}

static void OnCoreReply(const uint8_t* data, size_t size, void* user_data) {
  const unsigned long long now = NowNanoseconds();
  (void)data;
  (void)user_data;
  printf("startup reply %llu %zu\n", now, size);
  fflush(stdout);
  if (!g_stay) g_host->request_close(g_host);
}

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  const unsigned long long entered = NowNanoseconds();
  VelaBundleViewMetrics metrics;
  uint8_t* rgba;
  size_t bytes;
  /* An empty list in the standard encoding: the request the engine side sends. */
  static const uint8_t kEmptyList[] = {12, 0};

  g_host = host;
  g_stay = argc > 0 && strcmp(argv[0], "--stay") == 0;
  printf("startup entry %llu\n", entered);

  host->get_view_metrics(host, &metrics);
  if (metrics.width == 0 || metrics.height == 0) {
    metrics.width = 1;
    metrics.height = 1;
  }
  /* A frame of one colour, drawn as the sample draws its background. */
  bytes = (size_t)metrics.width * metrics.height * 4;
  rgba = malloc(bytes);
  if (rgba != NULL) {
    for (size_t i = 0; i < bytes; i += 4) {
      rgba[i] = 0x20;
      rgba[i + 1] = 0x30;
      rgba[i + 2] = 0x48;
      rgba[i + 3] = 0xff;
    }
    host->submit_frame(host, rgba, metrics.width, metrics.height, 0);
    free(rgba);
  }
  printf("startup frame %llu %ux%u\n", NowNanoseconds(), metrics.width, metrics.height);
  fflush(stdout);

  if (!host->send_message(host, kInitializeCoreChannel, kEmptyList, sizeof kEmptyList, OnCoreReply,
                          NULL)) {
    printf("startup reply %llu 0\n", NowNanoseconds());
    fflush(stdout);
    if (!g_stay) host->request_close(host);
  }
}
