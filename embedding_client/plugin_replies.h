#ifndef TERVALA_EMBEDDING_CLIENT_PLUGIN_REPLIES_H_
#define TERVALA_EMBEDDING_CLIENT_PLUGIN_REPLIES_H_

// The reply envelope of plug-in channels, for plug-in authors: a success is the list
// [value], an error the list [code, message, details], as the core plug-in answers. A
// bundle tells the two apart by the list's length; the empty reply (no bytes at all) means
// that no handler answered.

#include <string>
#include <utility>

#include "embedding_client/encodable_value.h"

namespace tervala_plugins {

// [value]: the request succeeded with `value`.
inline vela::EncodableValue SuccessReply(vela::EncodableValue value) {
  return vela::EncodableList{std::move(value)};
}

// [code, message, details]: the request failed. `code` is a short stable identifier that
// callers test ("bad-request", "not-found"); `message` is for people.
inline vela::EncodableValue ErrorReply(std::string code, std::string message,
                                       vela::EncodableValue details = vela::EncodableValue()) {
  return vela::EncodableList{std::move(code), std::move(message), std::move(details)};
}

// The first argument of a request [text, ...] when it is a string; null when the request
// is not a list or its first element is anything else.
inline const std::string* StringArgument(const vela::EncodableValue& request) {
  const auto* arguments = request.GetIf<vela::EncodableList>();
  if (arguments == nullptr || arguments->empty()) return nullptr;
  return (*arguments)[0].GetIf<std::string>();
}

}  // namespace tervala_plugins

#endif  // TERVALA_EMBEDDING_CLIENT_PLUGIN_REPLIES_H_
