/*
 * The greeter application: asks the greeter plug-in to greet a name (--name=NAME, default
 * "Tervala") and, to show an error reply, sends it a malformed request too. It prints each
 * answer on a line of its own and fills its view with one colour; with --exit-when-done it
 * closes once both answers are in.
 */
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bundle/codec/tervala_codec.h"
#include "vela_bundle.h"

#define GREET_CHANNEL "dev.tervala.examples.greeter.greet"
/* The largest frame side the engine accepts. */
#define MAX_FRAME_SIDE 16384u

/* Touched on the engine thread only. */
static const VelaBundleHost* g_host = NULL;
static int g_answers = 0;
static bool g_exit_when_done = false;

/* Prints "<what>: <the answer>" for a reply of the greet channel. */
static void PrintReply(const char* what, const uint8_t* data, size_t size) {
  TervalaReader reader;
  TervalaReply reply;
  const char* text = NULL;
  size_t length = 0;
  switch (tervala_read_reply(&reader, data, size, &reply)) {
    case TERVALA_REPLY_SUCCESS:
      if (tervala_read_string(&reader, &text, &length)) {
        printf("%s: %.*s\n", what, (int)length, text);
      } else {
        printf("%s: an answer that is not text\n", what);
      }
      break;
    case TERVALA_REPLY_ERROR:
      printf("%s: error %.*s: %.*s\n", what, (int)reply.code_length, reply.code,
             (int)reply.message_length, reply.message);
      break;
    case TERVALA_REPLY_EMPTY:
      printf("%s: no answer (is the greeter plug-in registered?)\n", what);
      break;
    default:
      printf("%s: a malformed answer\n", what);
      break;
  }
  fflush(stdout);
}

/* Counts a request settled; with --exit-when-done the second one closes the application. */
static void Settled(void) {
  if (++g_answers == 2 && g_exit_when_done) g_host->request_close(g_host);
}

static void OnReply(const uint8_t* data, size_t size, void* user_data) {
  PrintReply((const char*)user_data, data, size);
  Settled();
}

/* Sends the request the writer holds, then frees it. */
static void Send(TervalaWriter* request, const char* what) {
  if (request->failed || !g_host->send_message(g_host, GREET_CHANNEL, request->data, request->size,
                                               OnReply, (void*)what)) {
    printf("%s: not sent\n", what);
    fflush(stdout);
    Settled();
  }
  tervala_writer_free(request);
}

static void Draw(const VelaBundleHost* host) {
  VelaBundleViewMetrics metrics;
  host->get_view_metrics(host, &metrics);
  const uint32_t width = metrics.width < MAX_FRAME_SIDE ? metrics.width : MAX_FRAME_SIDE;
  const uint32_t height = metrics.height < MAX_FRAME_SIDE ? metrics.height : MAX_FRAME_SIDE;
  if (width == 0 || height == 0) return;
  uint8_t* pixels = malloc((size_t)width * height * 4);
  if (pixels == NULL) return;
  for (size_t i = 0; i < (size_t)width * height; ++i) {
    pixels[4 * i + 0] = 0;
    pixels[4 * i + 1] = 150;
    pixels[4 * i + 2] = 136;
    pixels[4 * i + 3] = 255;
  }
  host->submit_frame(host, pixels, width, height, 0);
  free(pixels);
}

static void OnFrameRequest(void* user_data) { Draw((const VelaBundleHost*)user_data); }

static void OnViewMetrics(const VelaBundleViewMetrics* metrics, void* user_data) {
  (void)metrics;
  Draw((const VelaBundleHost*)user_data);
}

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  g_host = host;
  const char* name = "Tervala";
  for (int i = 0; i < argc; ++i) {
    if (strncmp(argv[i], "--name=", 7) == 0) name = argv[i] + 7;
    if (strcmp(argv[i], "--exit-when-done") == 0) g_exit_when_done = true;
  }
  host->set_frame_request_handler(host, OnFrameRequest, (void*)host);
  host->set_view_metrics_handler(host, OnViewMetrics, (void*)host);

  /* [name] */
  TervalaWriter greeting;
  tervala_writer_init(&greeting);
  tervala_write_list(&greeting, 1);
  tervala_write_cstring(&greeting, name);
  Send(&greeting, "greeting");

  /* [42]: not a name, so the plug-in answers with an error. */
  TervalaWriter malformed;
  tervala_writer_init(&malformed);
  tervala_write_list(&malformed, 1);
  tervala_write_int32(&malformed, 42);
  Send(&malformed, "malformed request");
}
