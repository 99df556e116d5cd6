#ifndef TERVALA_APP_HEARTBEAT_HEARTBEAT_PAYLOAD_H_
#define TERVALA_APP_HEARTBEAT_HEARTBEAT_PAYLOAD_H_

// The heartbeat payload: the stored heartbeats as JSON, gzip-compressed and encoded as
// web-safe base64 without padding, short enough for a request header.

#include <cstddef>
#include <string>

#include "app/heartbeat/logged_heartbeats.h"

namespace nimbus {
namespace heartbeat {

// The longest payload handed out, in characters.
inline constexpr size_t kMaxPayloadLength = 1024;

// The payload JSON of `record`: {"heartbeats":[{"agent":...,"dates":[...]},...],"version":"2"}
// with the agents in the record's order and no whitespace.
std::string BuildHeartbeatsJson(const LoggedHeartbeats& record);

// Gzip of `text`, then web-safe base64 without padding. Empty on failure or when the result
// would be longer than kMaxPayloadLength characters.
std::string CompressAndEncode(const std::string& text);

// The inverse of CompressAndEncode: accepts either base64 alphabet, padded or not. Empty on
// failure; use the overload below to tell a failure from an empty text.
std::string DecodeAndUncompress(const std::string& payload);

// As above; false when `payload` is not base64 of a single gzip member, or inflates to
// more than 4 MiB. `text` is changed only on success.
bool DecodeAndUncompress(const std::string& payload, std::string* text);

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_HEARTBEAT_PAYLOAD_H_
