#ifndef TERVALA_NIMBUS_CORE_PLUGIN_BRIDGE_INTERNAL_CODEC_SERIALIZER_H_
#define TERVALA_NIMBUS_CORE_PLUGIN_BRIDGE_INTERNAL_CODEC_SERIALIZER_H_

// The plug-in's extension of the standard codec: CoreNimbusOptions travel under tag 129
// and CoreInitializeResponse under tag 130, each as its list form, anywhere in a message.

#include <cstdint>

#include "embedding_client/byte_streams.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_codec_serializer.h"
#include "embedding_client/standard_message_codec.h"

namespace nimbus_core_windows {

// The plug-in serializer. Stateless; the process-wide instance is GetInstance().
class BridgeInternalCodecSerializer : public vela::StandardCodecSerializer {
 public:
  static constexpr uint8_t kCoreNimbusOptionsTag = 129;
  static constexpr uint8_t kCoreInitializeResponseTag = 130;

  BridgeInternalCodecSerializer() = default;

  // The process-wide instance, created on first use.
  static const BridgeInternalCodecSerializer& GetInstance();
  // The plug-in codec: the standard message codec over GetInstance().
  static const vela::StandardMessageCodec& GetCodec();

  void WriteValue(const vela::EncodableValue& value, vela::ByteStreamWriter* stream) const override;
  // A record whose list is malformed fails the decode (with a diagnostic line naming
  // the fault), so that a decoder never throws.
  vela::EncodableValue ReadValueOfType(uint8_t type, vela::ByteStreamReader* stream) const override;
};

}  // namespace nimbus_core_windows

#endif  // TERVALA_NIMBUS_CORE_PLUGIN_BRIDGE_INTERNAL_CODEC_SERIALIZER_H_
