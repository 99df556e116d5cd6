// Channel messages between native code and the bundle: the handlers of both sides, the
// messages still owed an answer, and the threads each step runs on. Native handlers and native
// reply callbacks run on the UI thread; bundle handlers and bundle reply callbacks run on the
// engine thread. Every message sent with a reply callback gets exactly one answer: the real
// one, or the empty one when there is no handler or the engine shuts down first.
#ifndef TERVALA_PLATFORM_ENGINE_SRC_CHANNELS_H_
#define TERVALA_PLATFORM_ENGINE_SRC_CHANNELS_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/engine/include/vela_bundle.h"
#include "platform/engine/include/vela_windows.h"
#include "platform/engine/src/task_queue.h"
#include "platform/engine/src/ui_task_runner.h"

namespace vela_engine {

// The most messages of the bundle that may await native code's answer at once, and their
// bytes (a single message of any size is taken when none is owed). Each is a task on the UI
// thread until native code answers, and its answer a task on the engine thread until the
// bundle has it: a bundle that sends faster than native code answers must not queue without
// end.
inline constexpr size_t kMaxOwedToBundle = 1024;
inline constexpr size_t kMaxOwedBytesToBundle = 256u << 20;

// Routes the messages of one engine.
class ChannelRouter {
 public:
  ChannelRouter(TaskQueue& engine_queue, UiTaskRunner& ui, VelaDesktopMessenger messenger)
      : engine_queue_(engine_queue), ui_(ui), messenger_(messenger) {}
  ChannelRouter(const ChannelRouter&) = delete;
  ChannelRouter& operator=(const ChannelRouter&) = delete;

  // Native side. A null callback removes the channel's handler. (UI thread)
  void SetNativeHandler(const char* channel, VelaDesktopMessageCallback callback, void* user_data);
  // Sends to the bundle; `reply` (may be null) runs once on the UI thread. False when the
  // engine is shutting down; `reply` then never runs. (UI thread)
  bool SendToBundle(const char* channel, const uint8_t* data, size_t size,
                    VelaDesktopBinaryReply reply, void* user_data);
  // Native code's answer to a message of the bundle. A second answer is refused with a line
  // on standard error; an answer after shutdown is dropped. (Any thread)
  void RespondToBundle(const VelaDesktopMessageResponseHandle* response, const uint8_t* data,
                       size_t size);

  // Bundle side; the same rules mirrored. Handlers and replies run on the engine thread.
  bool SetBundleHandler(const char* channel, VelaBundleMessageHandler handler, void* user_data);
  // Also false while kMaxOwedToBundle messages or kMaxOwedBytesToBundle bytes are owed.
  bool SendToNative(const char* channel, const uint8_t* data, size_t size,
                    VelaBundleReplyCallback reply, void* user_data);
  bool RespondToNative(VelaBundleResponse* response, const uint8_t* data, size_t size);

  // Shutdown, first step (engine thread, or the UI thread when the engine never ran): runs
  // every bundle reply callback still owed (with native code's answer if it came, else the
  // empty reply), forgets the bundle's handlers and drops later answers to the bundle.
  void CloseBundleSide();
  // Second step (UI thread, after the engine thread ended): every native reply callback still
  // owed gets the empty reply; native handlers are forgotten and later sends refused.
  void CloseNativeSide();

 private:
  using Bytes = std::vector<uint8_t>;
  struct NativeHandler {
    VelaDesktopMessageCallback callback;
    void* user_data;
  };
  struct BundleHandler {
    VelaBundleMessageHandler callback;
    void* user_data;
  };
  // A message of the bundle awaiting native code's answer.
  struct OwedToBundle {
    VelaBundleReplyCallback reply;
    void* user_data;
    size_t message_size = 0;
    bool answered = false;
    Bytes answer;
  };
  // A message of native code awaiting the bundle's answer.
  struct OwedToNative {
    VelaDesktopBinaryReply reply;
    void* user_data;
  };

  void DeliverToNative(uint64_t id, const std::string& channel, const Bytes& message);
  void DeliverToBundle(uint64_t id, const std::string& channel, const Bytes& message);
  void DeliverAnswerToBundle(uint64_t id);
  // Under mutex_.
  void EraseOwedToBundle(std::map<uint64_t, OwedToBundle>::iterator it);

  TaskQueue& engine_queue_;
  UiTaskRunner& ui_;
  VelaDesktopMessenger messenger_;

  std::mutex mutex_;
  std::map<std::string, NativeHandler> native_handlers_;
  std::map<std::string, BundleHandler> bundle_handlers_;
  // Response handles are ids that are never reused, so a late answer cannot reach another
  // message.
  uint64_t next_id_ = 1;
  std::map<uint64_t, OwedToBundle> owed_to_bundle_;
  size_t owed_bytes_to_bundle_ = 0;  // the message sizes of owed_to_bundle_
  bool reported_full_ = false;
  std::map<uint64_t, OwedToNative> owed_to_native_;
  bool bundle_side_closed_ = false;
  bool native_side_closed_ = false;
};

}  // namespace vela_engine

#endif  // TERVALA_PLATFORM_ENGINE_SRC_CHANNELS_H_
