#ifndef TERVALA_EMBEDDING_CLIENT_MESSAGE_CODEC_H_
#define TERVALA_EMBEDDING_CLIENT_MESSAGE_CODEC_H_

// The interface of a codec that turns whole channel messages into typed values and back.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vela {

// Decodes and encodes whole messages of type T.
template <typename T>
class MessageCodec {
 public:
  MessageCodec() = default;
  virtual ~MessageCodec() = default;
  MessageCodec(const MessageCodec&) = delete;
  MessageCodec& operator=(const MessageCodec&) = delete;

  // The value of a message, or null when the message does not decode.
  std::unique_ptr<T> DecodeMessage(const uint8_t* binary_message, size_t message_size) const {
    return DecodeMessageInternal(binary_message, message_size);
  }
  std::unique_ptr<T> DecodeMessage(const std::vector<uint8_t>& binary_message) const {
    return DecodeMessageInternal(binary_message.data(), binary_message.size());
  }

  // The bytes of a message holding `message`.
  std::unique_ptr<std::vector<uint8_t>> EncodeMessage(const T& message) const {
    return EncodeMessageInternal(message);
  }

 protected:
  virtual std::unique_ptr<T> DecodeMessageInternal(const uint8_t* binary_message,
                                                   size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMessageInternal(const T& message) const = 0;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_MESSAGE_CODEC_H_
