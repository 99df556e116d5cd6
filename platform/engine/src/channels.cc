#include "platform/engine/src/channels.h"

#include <cstdio>
#include <utility>

namespace vela_engine {
namespace {

std::vector<uint8_t> Copy(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) return {};
  return std::vector<uint8_t>(data, data + size);
}

const uint8_t* DataOrNull(const std::vector<uint8_t>& bytes) {
  return bytes.empty() ? nullptr : bytes.data();
}

const VelaDesktopMessageResponseHandle* NativeResponseHandle(uint64_t id) {
  return reinterpret_cast<const VelaDesktopMessageResponseHandle*>(static_cast<uintptr_t>(id));
}

VelaBundleResponse* BundleResponseHandle(uint64_t id) {
  return reinterpret_cast<VelaBundleResponse*>(static_cast<uintptr_t>(id));
}

template <typename Handle>
uint64_t IdOf(Handle* handle) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

void ChannelRouter::SetNativeHandler(const char* channel, VelaDesktopMessageCallback callback,
                                     void* user_data) {
  if (channel == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (native_side_closed_) return;
  if (callback == nullptr) {
    native_handlers_.erase(channel);
  } else {
    native_handlers_[channel] = NativeHandler{callback, user_data};
  }
}

bool ChannelRouter::SendToBundle(const char* channel, const uint8_t* data, size_t size,
                                 VelaDesktopBinaryReply reply, void* user_data) {
  if (channel == nullptr || (data == nullptr && size != 0)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (native_side_closed_) return false;
  const uint64_t id = next_id_++;
  owed_to_native_[id] = OwedToNative{reply, user_data};
  const bool posted =
      engine_queue_.Post([this, id, name = std::string(channel), message = Copy(data, size)] {
        DeliverToBundle(id, name, message);
      });
  if (!posted) owed_to_native_.erase(id);
  return posted;
}

void ChannelRouter::DeliverToBundle(uint64_t id, const std::string& channel, const Bytes& message) {
  BundleHandler handler{nullptr, nullptr};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (bundle_side_closed_) return;
    auto it = bundle_handlers_.find(channel);
    if (it != bundle_handlers_.end()) handler = it->second;
  }
  if (handler.callback == nullptr) {
    RespondToNative(BundleResponseHandle(id), nullptr, 0);
    return;
  }
  handler.callback(channel.c_str(), DataOrNull(message), message.size(), BundleResponseHandle(id),
                   handler.user_data);
}

bool ChannelRouter::RespondToNative(VelaBundleResponse* response, const uint8_t* data,
                                    size_t size) {
  if (data == nullptr && size != 0) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (native_side_closed_) return false;
  auto it = owed_to_native_.find(IdOf(response));
  if (it == owed_to_native_.end()) return false;
  const OwedToNative owed = it->second;
  owed_to_native_.erase(it);
  if (owed.reply == nullptr) return true;
  // Posted under the lock, so that CloseNativeSide cannot slip in between: a reply either is
  // queued here (and the runner runs it even at shutdown) or is settled there.
  ui_.Post(
      [owed, answer = Copy(data, size)] {
        owed.reply(DataOrNull(answer), answer.size(), owed.user_data);
      },
      UiTaskRunner::AtShutdown::kRun);
  return true;
}

bool ChannelRouter::SetBundleHandler(const char* channel, VelaBundleMessageHandler handler,
                                     void* user_data) {
  if (channel == nullptr) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (bundle_side_closed_) return false;
  if (handler == nullptr) {
    bundle_handlers_.erase(channel);
  } else {
    bundle_handlers_[channel] = BundleHandler{handler, user_data};
  }
  return true;
}

bool ChannelRouter::SendToNative(const char* channel, const uint8_t* data, size_t size,
                                 VelaBundleReplyCallback reply, void* user_data) {
  if (channel == nullptr || (data == nullptr && size != 0)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (bundle_side_closed_) return false;
  if (!owed_to_bundle_.empty() && (owed_to_bundle_.size() >= kMaxOwedToBundle ||
                                   owed_bytes_to_bundle_ + size > kMaxOwedBytesToBundle)) {
    if (!std::exchange(reported_full_, true)) {
      std::fprintf(stderr,
                   "Vela engine: %zu messages of the bundle await native code's answer; "
                   "refusing more until they are answered.\n",
                   owed_to_bundle_.size());
    }
    return false;
  }
  const uint64_t id = next_id_++;
  owed_to_bundle_[id] = OwedToBundle{reply, user_data, size, false, {}};
  owed_bytes_to_bundle_ += size;
  const bool posted = ui_.Post([this, id, name = std::string(channel), message = Copy(data, size)] {
    DeliverToNative(id, name, message);
  });
  if (!posted) EraseOwedToBundle(owed_to_bundle_.find(id));
  return posted;
}

void ChannelRouter::DeliverToNative(uint64_t id, const std::string& channel, const Bytes& message) {
  NativeHandler handler{nullptr, nullptr};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (bundle_side_closed_ || native_side_closed_) return;
    auto it = native_handlers_.find(channel);
    if (it != native_handlers_.end()) handler = it->second;
  }
  if (handler.callback == nullptr) {
    RespondToBundle(NativeResponseHandle(id), nullptr, 0);
    return;
  }
  const VelaDesktopMessage record{sizeof(VelaDesktopMessage), channel.c_str(), DataOrNull(message),
                                  message.size(), NativeResponseHandle(id)};
  handler.callback(messenger_, &record, handler.user_data);
}

void ChannelRouter::RespondToBundle(const VelaDesktopMessageResponseHandle* response,
                                    const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (bundle_side_closed_) return;  // The engine has shut down: dropped without a word.
  auto it = owed_to_bundle_.find(IdOf(response));
  if (it == owed_to_bundle_.end() || it->second.answered) {
    std::fputs("Vela engine: a message can be answered only once; ignoring another response.\n",
               stderr);
    return;
  }
  if (it->second.reply == nullptr) {
    EraseOwedToBundle(it);
    return;
  }
  it->second.answered = true;
  it->second.answer = Copy(data, size);
  // When the engine is stopping the post is refused; CloseBundleSide then hands the answer
  // over.
  const uint64_t id = it->first;
  engine_queue_.Post([this, id] { DeliverAnswerToBundle(id); });
}

void ChannelRouter::DeliverAnswerToBundle(uint64_t id) {
  OwedToBundle owed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = owed_to_bundle_.find(id);
    if (it == owed_to_bundle_.end()) return;
    owed = std::move(it->second);
    EraseOwedToBundle(it);
  }
  owed.reply(DataOrNull(owed.answer), owed.answer.size(), owed.user_data);
}

void ChannelRouter::EraseOwedToBundle(std::map<uint64_t, OwedToBundle>::iterator it) {
  owed_bytes_to_bundle_ -= it->second.message_size;
  owed_to_bundle_.erase(it);
}

void ChannelRouter::CloseBundleSide() {
  std::map<uint64_t, OwedToBundle> owed;
  std::map<std::string, BundleHandler> handlers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bundle_side_closed_ = true;
    owed.swap(owed_to_bundle_);
    owed_bytes_to_bundle_ = 0;
    handlers.swap(bundle_handlers_);
  }
  for (auto& [id, entry] : owed) {
    if (entry.reply != nullptr) {
      entry.reply(DataOrNull(entry.answer), entry.answer.size(), entry.user_data);
    }
  }
}

void ChannelRouter::CloseNativeSide() {
  std::map<uint64_t, OwedToNative> owed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    native_side_closed_ = true;
    owed.swap(owed_to_native_);
    native_handlers_.clear();
  }
  for (auto& [id, entry] : owed) {
    if (entry.reply != nullptr) entry.reply(nullptr, 0, entry.user_data);
  }
}

}  // namespace vela_engine
