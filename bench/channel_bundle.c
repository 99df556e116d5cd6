/* The engine-side half of the channel benchmarks, a bundle for the engine stand-in.
 *
 * "bench/echo" answers every message with its own bytes: the far end of a round trip that
 * native code starts.
 *
 * "bench/ask" starts round trips from the engine side: its message holds two 32-bit
 * numbers, a count and a size. The bundle sends `count` messages of `size` bytes to native
 * code on "bench/native_echo", each when the reply to the one before has come, and answers
 * with the round-trip time of each in nanoseconds (`count` 64-bit numbers; all ones for a
 * round trip whose reply was not the message sent). */

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "vela_bundle.h"

static const VelaBundleHost* g_host;

static uint64_t NowNanoseconds(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
}

static void Echo(const char* channel, const uint8_t* data, size_t size,
                 VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)user_data;
  g_host->send_response(g_host, response, data, size);
}

struct Run {
  VelaBundleResponse* response;
  uint32_t count;
  uint32_t done;
  uint32_t size;
  uint8_t* payload;
  uint64_t* latencies;
  uint64_t started;
};

static void Finish(struct Run* run, int ok) {
  if (ok) {
    g_host->send_response(g_host, run->response, (const uint8_t*)run->latencies,
                          run->count * sizeof(uint64_t));
  } else {
    g_host->send_response(g_host, run->response, NULL, 0);
  }
  free(run->payload);
  free(run->latencies);
  free(run);
}

static void OnReply(const uint8_t* data, size_t size, void* user_data);

static void SendNext(struct Run* run) {
  run->started = NowNanoseconds();
  if (!g_host->send_message(g_host, "bench/native_echo", run->payload, run->size, OnReply, run)) {
    Finish(run, 0);
  }
}

static void OnReply(const uint8_t* data, size_t size, void* user_data) {
  struct Run* run = (struct Run*)user_data;
  const uint64_t elapsed = NowNanoseconds() - run->started;
  const int same = size == run->size && (size == 0 || memcmp(data, run->payload, size) == 0);
  run->latencies[run->done++] = same ? elapsed : UINT64_MAX;
  if (run->done < run->count) {
    SendNext(run);
  } else {
    Finish(run, 1);
  }
}

static void Ask(const char* channel, const uint8_t* data, size_t size, VelaBundleResponse* response,
                void* user_data) {
  (void)channel;
  (void)user_data;
  uint32_t header[2];
  if (size != sizeof header) {
    g_host->send_response(g_host, response, NULL, 0);
    return;
  }
  memcpy(header, data, sizeof header);
  struct Run* run = (struct Run*)calloc(1, sizeof *run);
  if (run == NULL || header[0] == 0) {
    free(run);
    g_host->send_response(g_host, response, NULL, 0);
    return;
  }
  run->response = response;
  run->count = header[0];
  run->size = header[1];
  run->payload = (uint8_t*)malloc(run->size + 1u);
  run->latencies = (uint64_t*)calloc(run->count, sizeof(uint64_t));
  if (run->payload == NULL || run->latencies == NULL) {
    Finish(run, 0);
    return;
  }
  for (uint32_t i = 0; i < run->size; ++i) run->payload[i] = (uint8_t)(i * 31u + 7u);
  SendNext(run);
}

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  (void)argc;
  (void)argv;
  g_host = host;
  host->set_message_handler(host, "bench/echo", Echo, NULL);
  host->set_message_handler(host, "bench/ask", Ask, NULL);
}
