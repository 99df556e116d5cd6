#ifndef TERVALA_EMBEDDING_CLIENT_BINARY_MESSENGER_H_
#define TERVALA_EMBEDDING_CLIENT_BINARY_MESSENGER_H_

// The byte-level channel interface between native code and the engine-side application:
// send messages on named channels and receive them through one handler per channel.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vela {

// Answers one message, or receives the answer to one sent message. Null bytes with size
// 0 is the empty reply. A reply to an incoming message may be called from any thread.
using ReplyFunction = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Handles the messages of one channel. `reply` answers the message; it may be kept and
// called later, at most once.
using MessageHandlerFunction =
    std::function<void(const uint8_t* message, size_t message_size, ReplyFunction reply)>;

// Sends messages to the engine-side application and routes its messages to handlers.
class BinaryMessenger {
 public:
  BinaryMessenger() = default;
  virtual ~BinaryMessenger() = default;
  BinaryMessenger(const BinaryMessenger&) = delete;
  BinaryMessenger& operator=(const BinaryMessenger&) = delete;

  // Sends `message` on `channel`. When `reply` is not empty it receives the answer once
  // (the empty reply when none comes); when the send is refused it is never called.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    ReplyFunction reply) const = 0;

  // Makes `handler` the one handler of `channel`, replacing any earlier one; an empty
  // handler removes the channel's handler.
  virtual void SetMessageHandler(const std::string& channel, MessageHandlerFunction handler) = 0;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_BINARY_MESSENGER_H_
