/* The bundle header as it was in its first version, before the input functions were appended
 * to the host table. Kept as it was: test_bundle_v1.c is built against it, to show that a
 * bundle built then still runs on the engine of today. Do not update it. */
/*
 * The interface between the Vela engine and an application bundle written in C or C++.
 *
 * A bundle is a shared library (data/app.so) that exports one entry point,
 *
 *   VELA_BUNDLE_EXPORT void vela_entry_main(const VelaBundleHost* host, int argc,
 *                                           const char* const* argv);
 *
 * named "vela_entry_" followed by the entry-point name ("main" by default). The engine calls
 * it once, on the engine thread, with the host table below and the entry-point arguments.
 * The entry point installs its handlers, may submit a first frame, and returns; the engine
 * thread then runs the bundle's tasks and handlers until the engine shuts down.
 *
 * Threads: every call from the engine into the bundle (the entry point, handlers, reply
 * callbacks, tasks) happens on the engine thread, one at a time. The host functions marked
 * "any thread" may also be called from threads the bundle starts itself; the others belong
 * to the engine thread. A bundle that starts threads stops them in its shutdown handler: the
 * library is unloaded after the engine has shut down.
 *
 * Versioning: `struct_size` is the size of the table the engine provides. Functions are only
 * ever appended; a bundle checks VELA_BUNDLE_HOST_HAS(host, member) before using a function
 * added after the first version.
 */
#ifndef VELA_BUNDLE_H_
#define VELA_BUNDLE_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VELA_BUNDLE_EXPORT __declspec(dllexport)
#else
#define VELA_BUNDLE_EXPORT __attribute__((visibility("default")))
#endif

typedef struct VelaBundleHost VelaBundleHost;

/* Identifies one message from native code; answer it once with send_response. */
typedef struct VelaBundleResponseState VelaBundleResponse;

/* The answer to a message the bundle sent. Null data and size 0 is the empty reply: native
 * code had no handler for the channel, answered with nothing, or the engine shut down first. */
typedef void (*VelaBundleReplyCallback)(const uint8_t* data, size_t size, void* user_data);

/* A message from native code on a channel the handler was set for. The message bytes are
 * valid during the call only. */
typedef void (*VelaBundleMessageHandler)(const char* channel, const uint8_t* data, size_t size,
                                         VelaBundleResponse* response, void* user_data);

/* A task, or a notification without arguments (frame request, fonts changed, shutdown). */
typedef void (*VelaBundleCallback)(void* user_data);

/* The view's size in physical pixels and its DPI (96 meaning 100 %). All zero before the
 * engine has a view. */
typedef struct {
  uint32_t width;
  uint32_t height;
  uint32_t dpi;
} VelaBundleViewMetrics;

typedef void (*VelaBundleViewMetricsHandler)(const VelaBundleViewMetrics* metrics, void* user_data);

/* A new frame of an external texture that native code registered: RGBA, 4 bytes per pixel,
 * rows without padding, valid during the call only. */
typedef void (*VelaBundleTextureHandler)(int64_t texture_id, const uint8_t* rgba, uint32_t width,
                                         uint32_t height, void* user_data);

struct VelaBundleHost {
  /* sizeof(VelaBundleHost) as the engine was built; see VELA_BUNDLE_HOST_HAS. */
  size_t struct_size;

  /* Sends a message to native code's handler for `channel` (any thread). The bytes are
   * copied. With a reply callback, it runs once on the engine thread with the answer.
   * False when the engine is shutting down or an argument is invalid, or when 1024 of the
   * bundle's messages (or 256 MiB of them) already await native code's answer: a bundle
   * that sends faster than native code answers must wait for answers. The callback then
   * never runs. */
  bool (*send_message)(const VelaBundleHost* host, const char* channel, const uint8_t* data,
                       size_t size, VelaBundleReplyCallback reply, void* user_data);

  /* Sets the handler for messages native code sends on `channel`; a null handler removes it.
   * A message on a channel without a handler gets the empty reply. */
  bool (*set_message_handler)(const VelaBundleHost* host, const char* channel,
                              VelaBundleMessageHandler handler, void* user_data);

  /* Answers a message from native code (any thread); the bytes are copied. Each response
   * is answered at most once: false for a second answer, or when the engine is shutting
   * down. A message that is never answered gets the empty reply at shutdown. */
  bool (*send_response)(const VelaBundleHost* host, VelaBundleResponse* response,
                        const uint8_t* data, size_t size);

  /* Runs `task` on the engine thread after `delay_ms` milliseconds (0: as soon as possible,
   * after what is already queued) (any thread). Tasks still waiting at shutdown are dropped
   * without running. */
  bool (*post_task)(const VelaBundleHost* host, VelaBundleCallback task, void* user_data,
                    uint64_t delay_ms);

  /* The view's current metrics (any thread). */
  void (*get_view_metrics)(const VelaBundleHost* host, VelaBundleViewMetrics* metrics);

  /* Called on the engine thread whenever the view's size or DPI changes; null removes it. */
  void (*set_view_metrics_handler)(const VelaBundleHost* host, VelaBundleViewMetricsHandler handler,
                                   void* user_data);

  /* Called on the engine thread when the host wants a frame (a redraw was forced); the
   * bundle answers with submit_frame. Without a handler the engine shows the last frame
   * again, or a cleared frame of the view's size when there has been none. */
  void (*set_frame_request_handler)(const VelaBundleHost* host, VelaBundleCallback handler,
                                    void* user_data);

  /* Submits a frame (any thread): `rgba` holds `height` rows of `width` RGBA pixels, each
   * row `row_bytes` long (0 means width * 4). The pixels are copied and become the view's
   * contents. False for invalid arguments. */
  bool (*submit_frame)(const VelaBundleHost* host, const uint8_t* rgba, uint32_t width,
                       uint32_t height, size_t row_bytes);

  /* Asks the application to close, as the user's close button does: the engine posts
   * WM_CLOSE to the view's top-level window (any thread). False when the view is not in a
   * window. */
  bool (*request_close)(const VelaBundleHost* host);

  /* Called once on the engine thread when the engine shuts down, after every pending reply
   * callback has run; no call into the bundle follows. Null removes it. */
  void (*set_shutdown_handler)(const VelaBundleHost* host, VelaBundleCallback handler,
                               void* user_data);

  /* Called on the engine thread when the system's fonts changed. Null removes it. */
  void (*set_fonts_changed_handler)(const VelaBundleHost* host, VelaBundleCallback handler,
                                    void* user_data);

  /* Called on the engine thread with each new frame of an external texture. Null removes
   * it. */
  void (*set_texture_handler)(const VelaBundleHost* host, VelaBundleTextureHandler handler,
                              void* user_data);
};

/* True when the engine's host table includes `member`. */
#define VELA_BUNDLE_HOST_HAS(host, member)                                             \
  ((host)->struct_size >= offsetof(VelaBundleHost, member) + sizeof((host)->member) && \
   (host)->member != NULL)

/* The entry point's type. */
typedef void (*VelaBundleEntryPoint)(const VelaBundleHost* host, int argc, const char* const* argv);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VELA_BUNDLE_H_ */
