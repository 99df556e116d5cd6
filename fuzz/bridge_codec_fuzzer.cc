// Channel message bytes through the plug-in's codec, whose records (tags 129 and 130) may
// appear anywhere in a message: decoding never crashes, and whatever decodes encodes again
// into a message that decodes to the same bytes.

#include "fuzz/codec_round_trip.h"
#include "fuzz/fuzz_support.h"
#include "nimbus_core_plugin/bridge_internal_codec_serializer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool kQuiet = (tervala_fuzz::SilenceStdCerr(), true);
  (void)kQuiet;
  tervala_fuzz::CheckCodecRoundTrip(nimbus_core_windows::BridgeInternalCodecSerializer::GetCodec(),
                                    data, size);
  return 0;
}
