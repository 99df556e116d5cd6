/*
 * The C interface of the Vela engine library (vela_windows). The desktop host reaches the
 * engine only through these functions and records; every handle is opaque.
 *
 * The engine runs an application bundle (see vela_bundle.h) on an engine thread of its own.
 * What the bundle sends to native code is dispatched on the UI thread from inside the host's
 * message loop (through a message-only window of the engine), so the host must pump
 * messages for handlers, replies and frame callbacks to run.
 *
 * Threads: every call comes from the host's UI thread (the thread that created the engine
 * and its view controller), except VelaDesktopMessengerSendResponse,
 * VelaDesktopMessengerLock/Unlock, VelaDesktopMessengerIsAvailable and
 * VelaDesktopMessengerAddRef/Release, which any thread may call. Callbacks given to the
 * library run on the UI thread unless stated otherwise.
 *
 * Shutdown (destroying the view controller, or an engine no controller took over) stops the
 * bundle and joins its thread, runs every reply callback still owed (with the empty reply
 * when no answer came), runs the registrars' destruction handlers and makes the messenger
 * unavailable, in that order, all before it returns.
 */
#ifndef VELA_WINDOWS_H_
#define VELA_WINDOWS_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Exported by the library itself, imported by its users; on ELF systems default visibility.
#if defined(_WIN32)
#if defined(VELA_WINDOWS_IMPLEMENTATION)
#define VELA_EXPORT __declspec(dllexport)
#else
#define VELA_EXPORT __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VELA_EXPORT __attribute__((visibility("default")))
#else
#define VELA_EXPORT
#endif

/* Opaque handles. */
typedef struct VelaDesktopEngineState* VelaDesktopEngine;
typedef struct VelaDesktopViewControllerState* VelaDesktopViewController;
typedef struct VelaDesktopViewState* VelaDesktopView;
typedef struct VelaDesktopMessengerState* VelaDesktopMessenger;
typedef struct VelaDesktopPluginRegistrarState* VelaDesktopPluginRegistrar;
typedef struct VelaDesktopTextureRegistrarState* VelaDesktopTextureRegistrar;
typedef struct VelaDesktopMessageResponseHandleState VelaDesktopMessageResponseHandle;

/* What the engine is to run; 64 bytes. Paths are relative to the executable's folder or
 * absolute; all pointers need to stay valid only during VelaDesktopEngineCreate. The assets
 * folder and the ICU data file (which may be empty) must exist; the AOT library is the
 * bundle's shared library, whose entry point is "vela_entry_" followed by the entry-point
 * name. The three options are accepted and not used by this engine. */
typedef struct {
  const WCHAR* assets_path;      /* the bundle's assets folder */
  const WCHAR* icu_data_path;    /* the ICU data file (may be empty) */
  const WCHAR* aot_library_path; /* the compiled application library */
  const char* entrypoint;        /* UTF-8; "" selects the default entry point "main" */
  int32_t entrypoint_argc;
  int32_t reserved0;            /* zero */
  const char** entrypoint_argv; /* UTF-8 arguments; null when entrypoint_argc is 0 */
  int32_t option1;
  int32_t option2;
  int32_t option3;
  int32_t reserved1; /* zero */
} VelaDesktopEngineProperties;

/* A message that the application sent to native code on a channel; valid during the
 * callback only. The response handle must be answered with VelaDesktopMessengerSendResponse
 * at most once (an unanswered message gets the empty reply when the engine shuts down). */
typedef struct {
  size_t struct_size;
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  const VelaDesktopMessageResponseHandle* response_handle;
} VelaDesktopMessage;

typedef void (*VelaDesktopMessageCallback)(VelaDesktopMessenger messenger,
                                           const VelaDesktopMessage* message, void* user_data);
typedef void (*VelaDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);
typedef void (*VelaDesktopOnNextFrame)(void* user_data);
typedef void (*VelaDesktopOnPluginRegistrarDestroyed)(VelaDesktopPluginRegistrar registrar);

/* External textures. The engine fetches frames through the source's callback, on its own
 * thread, after MarkExternalTextureFrameAvailable. */
typedef struct {
  const uint8_t* buffer; /* RGBA, 4 bytes per pixel, rows without padding */
  size_t width;
  size_t height;
  void (*release_callback)(void* release_context); /* may be null */
  void* release_context;
} VelaDesktopPixelBuffer;

typedef struct {
  size_t struct_size;
  void* handle;
  size_t width;
  size_t height;
  size_t visible_width;
  size_t visible_height;
  int32_t format;
  void (*release_callback)(void* release_context);
  void* release_context;
} VelaDesktopGpuSurfaceDescriptor;

typedef const VelaDesktopPixelBuffer* (*VelaDesktopPixelBufferTextureCallback)(size_t width,
                                                                               size_t height,
                                                                               void* user_data);
typedef const VelaDesktopGpuSurfaceDescriptor* (*VelaDesktopGpuSurfaceTextureCallback)(
    size_t width, size_t height, void* user_data);

typedef enum {
  kVelaDesktopPixelBufferTexture = 0,
  kVelaDesktopGpuSurfaceTexture = 1,
} VelaDesktopTextureType;

/* The source of a pixel-buffer texture. */
typedef struct {
  VelaDesktopPixelBufferTextureCallback callback;
  void* user_data;
  uint64_t reserved1;
  uint64_t reserved2;
} VelaDesktopPixelBufferTextureConfig;

/* The source of a GPU-surface texture. */
typedef struct {
  size_t struct_size; /* 32 */
  int32_t type;       /* surface type, passed through */
  int32_t reserved1;
  VelaDesktopGpuSurfaceTextureCallback callback;
  void* user_data;
} VelaDesktopGpuSurfaceTextureConfig;

/* A texture source; 40 bytes, zero-filled before use. */
typedef struct {
  int32_t type; /* VelaDesktopTextureType */
  int32_t reserved0;
  union {
    VelaDesktopPixelBufferTextureConfig pixel_buffer_config;
    VelaDesktopGpuSurfaceTextureConfig gpu_surface_config;
  };
} VelaDesktopTextureInfo;

typedef void (*VelaDesktopOnTextureUnregistered)(void* user_data);

/* Engine. */
VELA_EXPORT VelaDesktopEngine
VelaDesktopEngineCreate(const VelaDesktopEngineProperties* properties);
/* Only for an engine that no view controller has taken over: shuts it down and frees it (true).
 * For an engine a view controller owns: refused with a line on standard error (false). */
VELA_EXPORT bool VelaDesktopEngineDestroy(VelaDesktopEngine engine);
VELA_EXPORT VelaDesktopMessenger VelaDesktopEngineGetMessenger(VelaDesktopEngine engine);
/* The same handle for the same name, for the life of the engine. */
VELA_EXPORT VelaDesktopPluginRegistrar VelaDesktopEngineGetPluginRegistrar(VelaDesktopEngine engine,
                                                                           const char* plugin_name);
/* Runs `callback` once, on the UI thread, after the next frame has become the view's
 * contents. A second call before that frame replaces the first. */
VELA_EXPORT void VelaDesktopEngineSetNextFrameCallback(VelaDesktopEngine engine,
                                                       VelaDesktopOnNextFrame callback,
                                                       void* user_data);
/* Tells the bundle that the system's fonts changed. */
VELA_EXPORT void VelaDesktopEngineReloadSystemFonts(VelaDesktopEngine engine);

/* View controller: creates the view window (message-only until the host re-parents it with
 * SetParent), takes the engine over and starts it: the bundle's entry point runs on the
 * engine thread, then messages sent before the start. Null for a null engine or one that
 * is already taken over (the caller then still owns it). Destroying it shuts the engine down,
 * then destroys the view. */
VELA_EXPORT VelaDesktopViewController VelaDesktopViewControllerCreate(int width, int height,
                                                                      VelaDesktopEngine engine);
VELA_EXPORT void VelaDesktopViewControllerDestroy(VelaDesktopViewController controller);
VELA_EXPORT VelaDesktopView VelaDesktopViewControllerGetView(VelaDesktopViewController controller);
/* Asks the bundle for a frame; a bundle without a frame request handler gets its last frame
 * shown again, or a cleared frame of the view's size when it has shown none. */
VELA_EXPORT void VelaDesktopViewControllerForceRedraw(VelaDesktopViewController controller);
/* True when the engine consumed the top-level window's message; *result is then its
 * result. The engine consumes only WM_SETFOCUS while the view is inside `hwnd` (focus moves
 * on to the view; result 0). It watches WM_DPICHANGED (the view's DPI becomes LOWORD(wparam))
 * without consuming it, and never consumes WM_DESTROY, WM_SIZE, WM_ACTIVATE, WM_DPICHANGED,
 * WM_DWMCOLORIZATIONCOLORCHANGED or WM_FONTCHANGE. */
VELA_EXPORT bool VelaDesktopViewControllerHandleTopLevelWindowProc(
    VelaDesktopViewController controller, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
    LRESULT* result);
/* The view window; null once it was destroyed with its parent. */
VELA_EXPORT HWND VelaDesktopViewGetHWND(VelaDesktopView view);

/* Platform helpers. The monitor's DPI, 96 meaning 100 %; 0 for an unknown monitor. */
VELA_EXPORT UINT VelaDesktopGetDpiForMonitor(HMONITOR monitor);
/* Flushes the standard streams, so that output follows streams the host has reopened. */
VELA_EXPORT void VelaDesktopResyncOutputStreams(void);

/* Messenger. One per engine; plug-in registrars hand out the same handle. Messages go to the
 * bundle's handler for the channel; a channel without one gets the empty reply. Sending is
 * refused (false) once the engine has shut down. */
VELA_EXPORT bool VelaDesktopMessengerSend(VelaDesktopMessenger messenger, const char* channel,
                                          const uint8_t* message, size_t message_size);
/* False means the reply callback never runs. The reply runs on the UI thread; a reply that
 * cannot come (engine shut down) is settled with null data and size 0. */
VELA_EXPORT bool VelaDesktopMessengerSendWithReply(VelaDesktopMessenger messenger,
                                                   const char* channel, const uint8_t* message,
                                                   size_t message_size,
                                                   VelaDesktopBinaryReply reply, void* user_data);
/* A null callback removes the channel's handler. */
VELA_EXPORT void VelaDesktopMessengerSetCallback(VelaDesktopMessenger messenger,
                                                 const char* channel,
                                                 VelaDesktopMessageCallback callback,
                                                 void* user_data);
/* Answers a message once (any thread); the bytes are copied. A second answer for the same
 * handle is refused with a line on standard error; an answer after shutdown is dropped
 * silently. */
VELA_EXPORT void VelaDesktopMessengerSendResponse(VelaDesktopMessenger messenger,
                                                  const VelaDesktopMessageResponseHandle* handle,
                                                  const uint8_t* data, size_t data_size);
/* The engine holds one reference until it shuts down; the handle stays valid (unavailable)
 * while native code holds more. AddRef returns its argument. */
VELA_EXPORT VelaDesktopMessenger VelaDesktopMessengerAddRef(VelaDesktopMessenger messenger);
VELA_EXPORT void VelaDesktopMessengerRelease(VelaDesktopMessenger messenger);
/* While locked, the engine cannot shut down (shutdown waits at the step that makes the
 * messenger unavailable). The lock is recursive. Lock returns its argument. */
VELA_EXPORT VelaDesktopMessenger VelaDesktopMessengerLock(VelaDesktopMessenger messenger);
VELA_EXPORT void VelaDesktopMessengerUnlock(VelaDesktopMessenger messenger);
VELA_EXPORT bool VelaDesktopMessengerIsAvailable(VelaDesktopMessenger messenger);

/* Plug-in registrars: valid until their destruction handler has run. */
VELA_EXPORT VelaDesktopMessenger
VelaDesktopPluginRegistrarGetMessenger(VelaDesktopPluginRegistrar registrar);
/* Null when no view controller exists. */
VELA_EXPORT VelaDesktopView VelaDesktopPluginRegistrarGetView(VelaDesktopPluginRegistrar registrar);
VELA_EXPORT VelaDesktopTextureRegistrar
VelaDesktopRegistrarGetTextureRegistrar(VelaDesktopPluginRegistrar registrar);
/* Called on the UI thread when the engine shuts down and the registrar dies. */
VELA_EXPORT void VelaDesktopPluginRegistrarSetDestructionHandler(
    VelaDesktopPluginRegistrar registrar, VelaDesktopOnPluginRegistrarDestroyed callback);

/* Texture registrar. Ids start at 1 and are shared by all registrars of an engine; -1 means
 * failure (a null record, an unknown type or a null callback). Marking a registered id makes
 * the engine fetch a frame through the source's callback on the engine thread, for the view's
 * size; pixel buffers are copied and released, and the bundle receives the pixels. Marking an
 * unknown id returns false. */
VELA_EXPORT int64_t VelaDesktopTextureRegistrarRegisterExternalTexture(
    VelaDesktopTextureRegistrar texture_registrar, const VelaDesktopTextureInfo* info);
VELA_EXPORT bool VelaDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    VelaDesktopTextureRegistrar texture_registrar, int64_t texture_id);
/* The callback (may be null) runs once on the UI thread after the texture is removed. */
VELA_EXPORT void VelaDesktopTextureRegistrarUnregisterExternalTexture(
    VelaDesktopTextureRegistrar texture_registrar, int64_t texture_id,
    VelaDesktopOnTextureUnregistered callback, void* user_data);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The record layouts the host relies on. */
#if defined(__cplusplus)
#define VELA_STATIC_ASSERT static_assert
#else
#define VELA_STATIC_ASSERT _Static_assert
#endif
VELA_STATIC_ASSERT(sizeof(void*) == 8, "the engine interface is 64-bit");
VELA_STATIC_ASSERT(sizeof(VelaDesktopEngineProperties) == 64, "engine properties are 64 bytes");
VELA_STATIC_ASSERT(offsetof(VelaDesktopEngineProperties, entrypoint) == 24, "entry point at 24");
VELA_STATIC_ASSERT(offsetof(VelaDesktopEngineProperties, entrypoint_argc) == 32, "argc at 32");
VELA_STATIC_ASSERT(offsetof(VelaDesktopEngineProperties, entrypoint_argv) == 40, "argv at 40");
VELA_STATIC_ASSERT(offsetof(VelaDesktopEngineProperties, option1) == 48, "options at 48");
VELA_STATIC_ASSERT(offsetof(VelaDesktopEngineProperties, option3) == 56, "option 3 at 56");
VELA_STATIC_ASSERT(offsetof(VelaDesktopMessage, message) == 16, "message bytes at 16");
VELA_STATIC_ASSERT(offsetof(VelaDesktopMessage, message_size) == 24, "message size at 24");
VELA_STATIC_ASSERT(offsetof(VelaDesktopMessage, response_handle) == 32, "response at 32");
VELA_STATIC_ASSERT(sizeof(VelaDesktopTextureInfo) == 40, "texture info is 40 bytes");
VELA_STATIC_ASSERT(offsetof(VelaDesktopTextureInfo, pixel_buffer_config.callback) == 8,
                   "pixel-buffer callback at 8");
VELA_STATIC_ASSERT(offsetof(VelaDesktopTextureInfo, pixel_buffer_config.user_data) == 16,
                   "pixel-buffer user data at 16");
VELA_STATIC_ASSERT(offsetof(VelaDesktopTextureInfo, gpu_surface_config.type) == 16,
                   "surface type at 16");
VELA_STATIC_ASSERT(offsetof(VelaDesktopTextureInfo, gpu_surface_config.callback) == 24,
                   "surface callback at 24");
VELA_STATIC_ASSERT(offsetof(VelaDesktopTextureInfo, gpu_surface_config.user_data) == 32,
                   "surface user data at 32");
#undef VELA_STATIC_ASSERT

#endif /* VELA_WINDOWS_H_ */
