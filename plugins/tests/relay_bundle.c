/*
 * An engine-side application for the plug-in tests: it relays raw messages from native
 * code back to native code. A message on "test.relay" holds a channel name, a zero byte
 * and the message bytes; the bundle sends those bytes on that channel and answers the
 * relay message with 1 followed by the reply bytes, 0 for the empty reply, or 2 when the
 * engine refused to send.
 */
#include <stdlib.h>
#include <string.h>

#include "vela_bundle.h"

static const VelaBundleHost* relay_host = NULL;

static void AnswerRelay(VelaBundleResponse* response, unsigned char status, const uint8_t* data,
                        size_t size) {
  uint8_t* answer = (uint8_t*)malloc(size + 1);
  if (answer == NULL) return;
  answer[0] = status;
  if (size > 0) memcpy(answer + 1, data, size);
  relay_host->send_response(relay_host, response, answer, size + 1);
  free(answer);
}

static void OnRelayedReply(const uint8_t* data, size_t size, void* user_data) {
  VelaBundleResponse* response = (VelaBundleResponse*)user_data;
  if (data == NULL && size == 0) {
    AnswerRelay(response, 0, NULL, 0);
  } else {
    AnswerRelay(response, 1, data, size);
  }
}

static void OnRelay(const char* channel, const uint8_t* data, size_t size,
                    VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)user_data;
  const uint8_t* end = data == NULL ? NULL : (const uint8_t*)memchr(data, 0, size);
  if (end == NULL) {
    AnswerRelay(response, 2, NULL, 0);
    return;
  }
  const char* target = (const char*)data;
  const uint8_t* message = end + 1;
  size_t message_size = size - (size_t)(message - data);
  if (!relay_host->send_message(relay_host, target, message, message_size, OnRelayedReply,
                                response)) {
    AnswerRelay(response, 2, NULL, 0);
  }
}

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  (void)argc;
  (void)argv;
  relay_host = host;
  host->set_message_handler(host, "test.relay", OnRelay, NULL);
}
