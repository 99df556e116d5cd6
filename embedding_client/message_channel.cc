#include "embedding_client/message_channel.h"

#include <utility>

#include "embedding_client/error_line.h"

namespace vela {

MessageChannel::MessageChannel(BinaryMessenger* messenger, std::string name,
                               const MessageCodec<EncodableValue>* codec)
    : messenger_(messenger), name_(std::move(name)), codec_(codec) {}

void MessageChannel::SetMessageHandler(MessageHandler handler) const {
  if (messenger_ == nullptr) {
    internal::WriteErrorLine("Cannot set a message handler on channel ",
                             name_ + ": the channel has no messenger.");
    return;
  }
  if (!handler) {
    messenger_->SetMessageHandler(name_, nullptr);
    return;
  }
  if (codec_ == nullptr) {
    // The handler would decode every message with it.
    internal::WriteErrorLine("Cannot set a message handler on channel ",
                             name_ + ": the channel has no codec.");
    return;
  }
  const MessageCodec<EncodableValue>* codec = codec_;
  messenger_->SetMessageHandler(
      name_, [handler = std::move(handler), codec, name = name_](
                 const uint8_t* message, size_t message_size, ReplyFunction binary_reply) {
        std::unique_ptr<EncodableValue> value = codec->DecodeMessage(message, message_size);
        if (!value) {
          internal::WriteErrorLine("Unable to decode message on channel ", name);
          binary_reply(nullptr, 0);
          return;
        }
        MessageReply reply = [binary_reply, codec](const EncodableValue& reply_value) {
          std::unique_ptr<std::vector<uint8_t>> bytes = codec->EncodeMessage(reply_value);
          if (!bytes) {
            binary_reply(nullptr, 0);
            return;
          }
          binary_reply(bytes->data(), bytes->size());
        };
        handler(*value, std::move(reply));
      });
}

}  // namespace vela
