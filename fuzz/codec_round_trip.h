#ifndef TERVALA_FUZZ_CODEC_ROUND_TRIP_H_
#define TERVALA_FUZZ_CODEC_ROUND_TRIP_H_

// The property both codec fuzz targets check.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "embedding_client/standard_message_codec.h"

namespace tervala_fuzz {

// Whether `value` holds a custom value anywhere.
inline bool HasCustomValue(const vela::EncodableValue& value) {
  if (value.GetIf<vela::CustomEncodableValue>() != nullptr) return true;
  if (const auto* list = value.GetIf<vela::EncodableList>()) {
    for (const auto& element : *list) {
      if (HasCustomValue(element)) return true;
    }
  }
  if (const auto* map = value.GetIf<vela::EncodableMap>()) {
    for (const auto& [key, element] : *map) {
      if (HasCustomValue(key) || HasCustomValue(element)) return true;
    }
  }
  return false;
}

// Decodes the message; when it decodes, its encoding must decode again and encode to the
// same bytes (bytes, not values, are compared, so NaN payloads compare as themselves).
// Custom values order by their address, so a map whose keys hold them (also inside a
// record) encodes its entries in an order that may differ from one decode to the next: for
// values holding custom values (and so for the alignment padding that follows the order)
// only the decoding of the encoding is checked.
inline void CheckCodecRoundTrip(const vela::StandardMessageCodec& codec, const uint8_t* data,
                                size_t size) {
  auto value = codec.DecodeMessage(data, size);
  if (!value) return;
  auto encoded = codec.EncodeMessage(*value);
  auto again = codec.DecodeMessage(*encoded);
  if (!again) {
    std::fprintf(stderr, "the encoding of a decoded message does not decode\n");
    std::abort();
  }
  if (HasCustomValue(*value)) return;
  if (*codec.EncodeMessage(*again) != *encoded) {
    std::fprintf(stderr, "a decoded message does not encode to the same bytes twice\n");
    std::abort();
  }
}

}  // namespace tervala_fuzz

#endif  // TERVALA_FUZZ_CODEC_ROUND_TRIP_H_
