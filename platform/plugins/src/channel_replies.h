#ifndef TERVALA_PLATFORM_PLUGINS_SRC_CHANNEL_REPLIES_H_
#define TERVALA_PLATFORM_PLUGINS_SRC_CHANNEL_REPLIES_H_

// The reply envelopes of the plug-in libraries' channels, the same as the core plug-in's:
// a success is [value], an error is [code, message, details].

#include <string>

#include "embedding_client/encodable_value.h"

namespace tervala_plugins {

inline vela::EncodableValue SuccessReply(vela::EncodableValue value) {
  return vela::EncodableList{std::move(value)};
}

inline vela::EncodableValue ErrorReply(std::string code, std::string message) {
  return vela::EncodableList{std::move(code), std::move(message), vela::EncodableValue()};
}

// The one string argument of a request [text], or null when the request is not such a
// list.
inline const std::string* StringArgument(const vela::EncodableValue& request) {
  const auto* arguments = request.GetIf<vela::EncodableList>();
  if (arguments == nullptr || arguments->empty()) return nullptr;
  return (*arguments)[0].GetIf<std::string>();
}

}  // namespace tervala_plugins

#endif  // TERVALA_PLATFORM_PLUGINS_SRC_CHANNEL_REPLIES_H_
