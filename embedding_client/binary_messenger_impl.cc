#include "embedding_client/binary_messenger_impl.h"

#include <memory>
#include <utility>

#include "embedding_client/error_line.h"

namespace vela {
namespace {

// The state behind the reply to one incoming message, shared by every copy of its
// reply function: a counted reference that keeps the messenger handle valid, and the
// engine's response handle, cleared once used. The handle is read and cleared only
// under the messenger lock, so copies called from different threads answer once.
class PendingResponse {
 public:
  PendingResponse(VelaDesktopMessenger messenger, const VelaDesktopMessageResponseHandle* handle)
      : messenger_(VelaDesktopMessengerAddRef(messenger)), handle_(handle) {}
  ~PendingResponse() { VelaDesktopMessengerRelease(messenger_); }
  PendingResponse(const PendingResponse&) = delete;
  PendingResponse& operator=(const PendingResponse&) = delete;

  void Respond(const uint8_t* data, size_t size) {
    bool duplicate = false;
    VelaDesktopMessengerLock(messenger_);
    // After engine shutdown the reply is dropped without a word: the application that
    // asked is gone.
    if (VelaDesktopMessengerIsAvailable(messenger_)) {
      if (handle_ != nullptr) {
        VelaDesktopMessengerSendResponse(messenger_, handle_, data, size);
        handle_ = nullptr;
      } else {
        duplicate = true;
      }
    }
    VelaDesktopMessengerUnlock(messenger_);
    if (duplicate) {
      internal::WriteErrorLine(
          "Error: Response can be set only once. Ignoring duplicate response.");
    }
  }

 private:
  VelaDesktopMessenger messenger_;
  const VelaDesktopMessageResponseHandle* handle_;
};

// Runs the reply of a message sent with SendWithReply, once, and frees it.
void RunSentReply(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<ReplyFunction> reply(static_cast<ReplyFunction*>(user_data));
  (*reply)(data, data_size);
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(VelaDesktopMessenger messenger) : messenger_(messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, ReplyFunction reply) const {
  if (messenger_ == nullptr) {
    internal::WriteErrorLine("Cannot send on channel ", channel + ": the engine isn't running.");
    return;
  }
  if (!reply) {
    VelaDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto capture = std::make_unique<ReplyFunction>(std::move(reply));
  if (VelaDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size,
                                        RunSentReply, capture.get())) {
    // The engine library now owns the capture until it runs the reply.
    capture.release();
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            MessageHandlerFunction handler) {
  if (messenger_ == nullptr) {
    internal::WriteErrorLine("Cannot set a message handler on channel ",
                             channel + ": the engine isn't running.");
    return;
  }
  if (!handler) {
    // Unregister first, so the engine no longer holds the entry's address when it goes.
    VelaDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    handlers_.erase(channel);
    return;
  }
  HandlerEntry& entry = handlers_[channel];
  entry = std::make_shared<const MessageHandlerFunction>(std::move(handler));
  VelaDesktopMessengerSetCallback(messenger_, channel.c_str(), DispatchToHandler, &entry);
}

void BinaryMessengerImpl::DispatchToHandler(VelaDesktopMessenger messenger,
                                            const VelaDesktopMessage* message, void* user_data) {
  if (message == nullptr || user_data == nullptr) return;
  // Hold the handler for the length of the call: it may replace or remove itself.
  HandlerEntry handler = *static_cast<const HandlerEntry*>(user_data);
  if (!handler) return;
  auto response = std::make_shared<PendingResponse>(messenger, message->response_handle);
  ReplyFunction reply = [response = std::move(response)](const uint8_t* data, size_t size) {
    response->Respond(data, size);
  };
  (*handler)(message->message, message->message_size, std::move(reply));
}

}  // namespace vela
