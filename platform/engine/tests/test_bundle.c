/* A bundle in C for the engine's tests. Channels answer what the tests ask; counters the
 * tests read through test_bundle_counter() tell what happened on the bundle's side. Every
 * callback checks that it runs on the engine thread (the thread of the entry point). */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vela_bundle.h"

static const VelaBundleHost* g_host;
static pthread_t g_engine_thread;
static pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
static int g_wrong_thread;
static int g_shutdowns;
static int g_font_changes;
static int g_replies;
static int g_empty_replies;
static int g_second_response_accepted = -1;

static void Count(int* counter) {
  pthread_mutex_lock(&g_mutex);
  ++*counter;
  pthread_mutex_unlock(&g_mutex);
}

static void CheckThread(void) {
  if (!pthread_equal(pthread_self(), g_engine_thread)) Count(&g_wrong_thread);
}

/* The named counter's value; -1 for an unknown name. */
VELA_BUNDLE_EXPORT int test_bundle_counter(const char* name) {
  int value = -1;
  pthread_mutex_lock(&g_mutex);
  if (strcmp(name, "wrong_thread") == 0) value = g_wrong_thread;
  if (strcmp(name, "shutdowns") == 0) value = g_shutdowns;
  if (strcmp(name, "font_changes") == 0) value = g_font_changes;
  if (strcmp(name, "replies") == 0) value = g_replies;
  if (strcmp(name, "empty_replies") == 0) value = g_empty_replies;
  if (strcmp(name, "second_response_accepted") == 0) value = g_second_response_accepted;
  pthread_mutex_unlock(&g_mutex);
  return value;
}

static void RespondText(VelaBundleResponse* response, const char* text) {
  g_host->send_response(g_host, response, (const uint8_t*)text, strlen(text));
}

static void Echo(const char* channel, const uint8_t* data, size_t size,
                 VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)user_data;
  CheckThread();
  g_host->send_response(g_host, response, data, size);
}

/* Native code's answer to "ask": handed back as the answer to the native message. */
static void AskReply(const uint8_t* data, size_t size, void* user_data) {
  CheckThread();
  VelaBundleResponse* response = (VelaBundleResponse*)user_data;
  if (data == NULL) {
    RespondText(response, "empty");
    return;
  }
  char* text = malloc(size + 7);
  memcpy(text, "reply:", 6);
  memcpy(text + 6, data, size);
  g_host->send_response(g_host, response, (const uint8_t*)text, size + 6);
  free(text);
}

/* Asks native code on the channel named by the message and answers with native's reply. */
static void Ask(const char* channel, const uint8_t* data, size_t size, VelaBundleResponse* response,
                void* user_data) {
  (void)channel;
  (void)user_data;
  CheckThread();
  char name[256];
  if (size >= sizeof(name)) size = sizeof(name) - 1;
  memcpy(name, data, size);
  name[size] = '\0';
  static const uint8_t kQuestion[] = {'?'};
  if (!g_host->send_message(g_host, name, kQuestion, 1, AskReply, response)) {
    RespondText(response, "refused");
  }
}

static void Twice(const char* channel, const uint8_t* data, size_t size,
                  VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)user_data;
  RespondText(response, "first");
  const bool accepted = g_host->send_response(g_host, response, (const uint8_t*)"second", 6);
  pthread_mutex_lock(&g_mutex);
  g_second_response_accepted = accepted ? 1 : 0;
  pthread_mutex_unlock(&g_mutex);
}

static void Never(const char* channel, const uint8_t* data, size_t size,
                  VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)response;
  (void)user_data;
  CheckThread();
}

static void LaterTask(void* user_data) {
  CheckThread();
  RespondText((VelaBundleResponse*)user_data, "later");
}

static void Later(const char* channel, const uint8_t* data, size_t size,
                  VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)user_data;
  g_host->post_task(g_host, LaterTask, response, 20);
}

static uint8_t g_color[4] = {0x10, 0x20, 0x30, 0xff};

static void SubmitViewSizedFrame(void) {
  VelaBundleViewMetrics metrics;
  g_host->get_view_metrics(g_host, &metrics);
  const size_t pixels = (size_t)metrics.width * metrics.height;
  uint8_t* rgba = malloc(pixels * 4 + 4);
  for (size_t i = 0; i < pixels; ++i) memcpy(rgba + i * 4, g_color, 4);
  g_host->submit_frame(g_host, rgba, metrics.width, metrics.height, 0);
  free(rgba);
}

static void Frame(const char* channel, const uint8_t* data, size_t size,
                  VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)user_data;
  CheckThread();
  if (size == 4) memcpy(g_color, data, 4);
  SubmitViewSizedFrame();
  RespondText(response, "ok");
}

static void OnFrameRequest(void* user_data) {
  (void)user_data;
  CheckThread();
  SubmitViewSizedFrame();
}

static void Close(const char* channel, const uint8_t* data, size_t size,
                  VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)user_data;
  RespondText(response, g_host->request_close(g_host) ? "1" : "0");
}

static void HoldReply(const uint8_t* data, size_t size, void* user_data) {
  (void)size;
  (void)user_data;
  CheckThread();
  Count(data == NULL ? &g_empty_replies : &g_replies);
}

/* Sends to native code on the channel named by the message, counting the replies. */
static void SendNative(const char* channel, const uint8_t* data, size_t size,
                       VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)user_data;
  char name[256];
  if (size >= sizeof(name)) size = sizeof(name) - 1;
  memcpy(name, data, size);
  name[size] = '\0';
  RespondText(response,
              g_host->send_message(g_host, name, NULL, 0, HoldReply, NULL) ? "sent" : "refused");
}

static void Metrics(const char* channel, const uint8_t* data, size_t size,
                    VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  (void)user_data;
  VelaBundleViewMetrics metrics;
  g_host->get_view_metrics(g_host, &metrics);
  char text[64];
  snprintf(text, sizeof(text), "%ux%u@%u", metrics.width, metrics.height, metrics.dpi);
  RespondText(response, text);
}

static void OnShutdown(void* user_data) {
  (void)user_data;
  CheckThread();
  Count(&g_shutdowns);
}

static void OnFontsChanged(void* user_data) {
  (void)user_data;
  CheckThread();
  Count(&g_font_changes);
}

VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
                                        const char* const* argv) {
  (void)argc;
  (void)argv;
  static const uint8_t kDefaultColor[4] = {0x10, 0x20, 0x30, 0xff};
  g_host = host;
  g_engine_thread = pthread_self();
  memcpy(g_color, kDefaultColor, 4); /* The library may stay loaded from an earlier engine. */
  host->set_message_handler(host, "test/echo", Echo, NULL);
  host->set_message_handler(host, "test/ask", Ask, NULL);
  host->set_message_handler(host, "test/twice", Twice, NULL);
  host->set_message_handler(host, "test/never", Never, NULL);
  host->set_message_handler(host, "test/later", Later, NULL);
  host->set_message_handler(host, "test/frame", Frame, NULL);
  host->set_message_handler(host, "test/close", Close, NULL);
  host->set_message_handler(host, "test/send", SendNative, NULL);
  host->set_message_handler(host, "test/metrics", Metrics, NULL);
  host->set_frame_request_handler(host, OnFrameRequest, NULL);
  host->set_shutdown_handler(host, OnShutdown, NULL);
  host->set_fonts_changed_handler(host, OnFontsChanged, NULL);
}

static void Arguments(const char* channel, const uint8_t* data, size_t size,
                      VelaBundleResponse* response, void* user_data) {
  (void)channel;
  (void)data;
  (void)size;
  RespondText(response, (const char*)user_data);
}

/* Another entry point: answers "test/args" with its arguments, "argc:a,b,...". */
VELA_BUNDLE_EXPORT void vela_entry_arguments(const VelaBundleHost* host, int argc,
                                             const char* const* argv) {
  static char text[1024];
  g_host = host;
  g_engine_thread = pthread_self();
  int length = snprintf(text, sizeof(text), "%d:", argc);
  for (int i = 0; i < argc && length < (int)sizeof(text); ++i) {
    length += snprintf(text + length, sizeof(text) - (size_t)length, "%s%s", i ? "," : "", argv[i]);
  }
  if (argv[argc] != NULL) snprintf(text, sizeof(text), "argv is not null-terminated");
  host->set_message_handler(host, "test/args", Arguments, text);
}
