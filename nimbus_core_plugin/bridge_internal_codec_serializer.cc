#include "nimbus_core_plugin/bridge_internal_codec_serializer.h"

#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "nimbus_core_plugin/core_initialize_response.h"
#include "nimbus_core_plugin/core_nimbus_options.h"

namespace nimbus_core_windows {
namespace {

// Reads the list form of a record and builds the record from it. Any fault (a body that
// is not a list, a malformed list, nesting too deep) fails the decode.
template <typename Record>
vela::EncodableValue ReadRecord(const BridgeInternalCodecSerializer& serializer,
                                vela::ByteStreamReader* stream) {
  if (!stream->EnterNested()) return vela::EncodableValue();
  vela::EncodableValue body = serializer.ReadValue(stream);
  stream->LeaveNested();
  if (stream->failed()) return vela::EncodableValue();
  try {
    return vela::EncodableValue(
        vela::CustomEncodableValue(Record::FromEncodableList(body.Get<vela::EncodableList>())));
  } catch (const std::exception& error) {
    std::cerr << std::string("Invalid record in BridgeInternalCodecSerializer::ReadValueOfType: ") +
                     error.what() + "\n";
    stream->SetFailed();
    return vela::EncodableValue();
  }
}

}  // namespace

const BridgeInternalCodecSerializer& BridgeInternalCodecSerializer::GetInstance() {
  // Never destroyed, like the standard serializer: replies may be encoded on other threads
  // while the process ends.
  alignas(BridgeInternalCodecSerializer) static unsigned char
      storage[sizeof(BridgeInternalCodecSerializer)];
  static const auto* const instance = new (storage) BridgeInternalCodecSerializer();
  return *instance;
}

const vela::StandardMessageCodec& BridgeInternalCodecSerializer::GetCodec() {
  return vela::StandardMessageCodec::GetInstance(&GetInstance());
}

void BridgeInternalCodecSerializer::WriteValue(const vela::EncodableValue& value,
                                               vela::ByteStreamWriter* stream) const {
  if (const auto* custom = value.GetIf<vela::CustomEncodableValue>()) {
    if (const auto* options = custom->GetIf<CoreNimbusOptions>()) {
      stream->WriteByte(kCoreNimbusOptionsTag);
      WriteValue(vela::EncodableValue(options->ToEncodableList()), stream);
      return;
    }
    if (const auto* response = custom->GetIf<CoreInitializeResponse>()) {
      stream->WriteByte(kCoreInitializeResponseTag);
      WriteValue(vela::EncodableValue(response->ToEncodableList()), stream);
      return;
    }
  }
  vela::StandardCodecSerializer::WriteValue(value, stream);
}

vela::EncodableValue BridgeInternalCodecSerializer::ReadValueOfType(
    uint8_t type, vela::ByteStreamReader* stream) const {
  switch (type) {
    case kCoreNimbusOptionsTag:
      return ReadRecord<CoreNimbusOptions>(*this, stream);
    case kCoreInitializeResponseTag:
      return ReadRecord<CoreInitializeResponse>(*this, stream);
    default:
      return vela::StandardCodecSerializer::ReadValueOfType(type, stream);
  }
}

}  // namespace nimbus_core_windows
