#ifndef TERVALA_EMBEDDING_CLIENT_MESSAGE_CHANNEL_H_
#define TERVALA_EMBEDDING_CLIENT_MESSAGE_CHANNEL_H_

// A named channel that carries encodable values: it decodes incoming messages with a
// codec and encodes the replies with the same codec.

#include <functional>
#include <string>

#include "embedding_client/binary_messenger.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/message_codec.h"

namespace vela {

// Answers one typed message; encodes `reply` with the channel's codec and sends it.
using MessageReply = std::function<void(const EncodableValue& reply)>;

// Handles the decoded messages of one typed channel.
using MessageHandler = std::function<void(const EncodableValue& message, MessageReply reply)>;

// A typed view of one channel of a messenger. It holds neither the messenger nor the
// codec; both must outlive any handler installed through it.
class MessageChannel {
 public:
  MessageChannel(BinaryMessenger* messenger, std::string name,
                 const MessageCodec<EncodableValue>* codec);

  // Installs `handler` as the channel's handler on the messenger; an empty handler
  // removes the channel's handler. A message that does not decode never reaches the
  // handler: it is reported on standard error and answered with the empty reply.
  // A channel without a messenger (or, for a handler, without a codec) installs nothing
  // and says so in one line on standard error.
  void SetMessageHandler(MessageHandler handler) const;

  const std::string& name() const { return name_; }

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MessageCodec<EncodableValue>* codec_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_MESSAGE_CHANNEL_H_
