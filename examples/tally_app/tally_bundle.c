/*
 * The tally application: adds each word of --words=A,B,... (default "tally") to the tally
 * plug-in, in order, and then sends it a request that is not a word, to show an error reply.
 * It prints each answer on a line of its own ("a: 1", "b: 1", "a: 2", ...) and fills its view
 * with one colour; with --exit-when-done it closes once every answer is in.
 */
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "bundle/codec/tervala_codec.h"
#include "vela_bundle.h"

#define ADD_CHANNEL "dev.tervala.examples.tally.add"
#define MAX_WORDS 64
#define MAX_WORD 64
/* The largest frame side the engine accepts. */
#define MAX_FRAME_SIDE 16384u

/* Touched on the engine thread only. */
static const VelaBundleHost* g_host = NULL;
static char g_words[MAX_WORDS + 1][MAX_WORD];
static int g_requests = 0;
static int g_answers = 0;
static bool g_exit_when_done = false;

/* Counts a request settled; with --exit-when-done the last one closes the application. */
static void Settled(void) {
  if (++g_answers == g_requests && g_exit_when_done) g_host->request_close(g_host);
}

static void OnReply(const uint8_t* data, size_t size, void* user_data) {
  const char* what = (const char*)user_data;
  TervalaReader reader;
  TervalaReply reply;
  int64_t count = 0;
  switch (tervala_read_reply(&reader, data, size, &reply)) {
    case TERVALA_REPLY_SUCCESS:
      if (tervala_read_int(&reader, &count)) {
        printf("%s: %lld\n", what, (long long)count);
      } else {
        printf("%s: an answer that is not a count\n", what);
      }
      break;
    case TERVALA_REPLY_ERROR:
      printf("%s: error %.*s: %.*s\n", what, (int)reply.code_length, reply.code,
             (int)reply.message_length, reply.message);
      break;
    case TERVALA_REPLY_EMPTY:
      printf("%s: no answer (is the tally plug-in registered?)\n", what);
      break;
    default:
      printf("%s: a malformed answer\n", what);
      break;
  }
  fflush(stdout);
  Settled();
}

/* Sends the request the writer holds, then frees it; `what` names it in the answer's line. */
static void Send(TervalaWriter* request, const char* what) {
  if (request->failed || !g_host->send_message(g_host, ADD_CHANNEL, request->data, request->size,
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
    pixels[4 * i + 0] = 63;
    pixels[4 * i + 1] = 81;
    pixels[4 * i + 2] = 181;
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

/* Splits `list` at its commas into g_words (empty words dropped, long ones cut); returns the
 * number of words. */
static int SplitWords(const char* list) {
  int count = 0;
  while (*list != '\0' && count < MAX_WORDS) {
    size_t length = strcspn(list, ",");
    if (length > 0) {
      size_t kept = length < MAX_WORD - 1 ? length : MAX_WORD - 1;
      memcpy(g_words[count], list, kept);
      g_words[count][kept] = '\0';
      ++count;
    }
    list += length;
    if (*list == ',') ++list;
  }
  return count;
}

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  g_host = host;
  const char* words = "tally";
  for (int i = 0; i < argc; ++i) {
    if (strncmp(argv[i], "--words=", 8) == 0) words = argv[i] + 8;
    if (strcmp(argv[i], "--exit-when-done") == 0) g_exit_when_done = true;
  }
  host->set_frame_request_handler(host, OnFrameRequest, (void*)host);
  host->set_view_metrics_handler(host, OnViewMetrics, (void*)host);

  const int count = SplitWords(words);
  /* Every word, then the malformed request: all counted before the first one is settled. */
  g_requests = count + 1;
  for (int i = 0; i < count; ++i) {
    TervalaWriter add; /* [word] */
    tervala_writer_init(&add);
    tervala_write_list(&add, 1);
    tervala_write_cstring(&add, g_words[i]);
    Send(&add, g_words[i]);
  }
  /* [42]: not a word, so the plug-in answers with an error. */
  TervalaWriter malformed;
  tervala_writer_init(&malformed);
  tervala_write_list(&malformed, 1);
  tervala_write_int32(&malformed, 42);
  Send(&malformed, "malformed request");
}
