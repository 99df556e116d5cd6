#ifndef TERVALA_EMBEDDING_CLIENT_BINARY_MESSENGER_IMPL_H_
#define TERVALA_EMBEDDING_CLIENT_BINARY_MESSENGER_IMPL_H_

// The binary messenger over an engine library messenger handle.

#include <map>
#include <memory>
#include <string>

#include "embedding_client/binary_messenger.h"
#include "vela_windows.h"

namespace vela {

// Adapts a VelaDesktopMessenger to callables. Every incoming message is handed to its
// channel's handler with a one-shot reply that reaches the engine at most once and only
// while the engine lives. Used on the UI thread; replies may come from any thread.
//
// Destroying the object forgets its handlers without unregistering them, so it may be
// destroyed only once the engine can no longer deliver messages to it (during or after
// engine shutdown).
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // `messenger` is not owned; it is null when the engine could not be created, and such
  // a messenger refuses to send or to install handlers.
  explicit BinaryMessengerImpl(VelaDesktopMessenger messenger);
  ~BinaryMessengerImpl() override;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            ReplyFunction reply) const override;
  void SetMessageHandler(const std::string& channel, MessageHandlerFunction handler) override;

  // The plain callback registered with the engine library for every channel with a
  // handler; `user_data` is the address of that channel's entry in the handler map.
  static void DispatchToHandler(VelaDesktopMessenger messenger, const VelaDesktopMessage* message,
                                void* user_data);

 private:
  using HandlerEntry = std::shared_ptr<const MessageHandlerFunction>;

  VelaDesktopMessenger messenger_;
  // Node-based, so an entry's address (given to the engine) stays put while it is
  // registered. Entries are shared so that a handler which replaces or removes itself
  // while running lives until it returns.
  std::map<std::string, HandlerEntry> handlers_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_BINARY_MESSENGER_IMPL_H_
