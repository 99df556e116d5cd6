// Channel message bytes through the standard codec: decoding never crashes, and whatever
// decodes encodes again into a message that decodes to the same bytes.

#include <cstdlib>

#include "embedding_client/standard_message_codec.h"
#include "fuzz/codec_round_trip.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool kQuiet = (tervala_fuzz::SilenceStdCerr(), true);
  (void)kQuiet;
  tervala_fuzz::CheckCodecRoundTrip(vela::StandardMessageCodec::GetInstance(), data, size);
  return 0;
}
