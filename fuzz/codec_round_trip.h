#ifndef TERVALA_FUZZ_CODEC_ROUND_TRIP_H_
#define TERVALA_FUZZ_CODEC_ROUND_TRIP_H_

// The property both codec fuzz targets check.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "embedding_client/standard_message_codec.h"

namespace tervala_fuzz {

// Decodes the message; when it decodes, its encoding must decode again and encode to the
// same bytes (bytes, not values, are compared, so NaN payloads compare as themselves).
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
  if (*codec.EncodeMessage(*again) != *encoded) {
    std::fprintf(stderr, "a decoded message does not encode to the same bytes twice\n");
    std::abort();
  }
}

}  // namespace tervala_fuzz

#endif  // TERVALA_FUZZ_CODEC_ROUND_TRIP_H_
