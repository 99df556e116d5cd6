#include "embedding_client/standard_message_codec.h"

#include <map>
#include <mutex>

#include "embedding_client/byte_streams.h"

namespace vela {
namespace {

constexpr size_t kInitialMessageCapacity = 512;

}  // namespace

const StandardMessageCodec& StandardMessageCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &StandardCodecSerializer::GetInstance();
  // Codecs are looked up from whichever thread sets up a channel, so the map is locked.
  // Both live until the process ends, as the codecs handed out do.
  static auto* mutex = new std::mutex();
  static auto* codecs =
      new std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMessageCodec>>();
  std::lock_guard lock(*mutex);
  auto& codec = (*codecs)[serializer];
  if (!codec) codec.reset(new StandardMessageCodec(serializer));
  return *codec;
}

std::unique_ptr<EncodableValue> StandardMessageCodec::DecodeMessageInternal(
    const uint8_t* binary_message, size_t message_size) const {
  if (binary_message == nullptr || message_size == 0) return std::make_unique<EncodableValue>();
  ByteBufferStreamReader stream(binary_message, message_size);
  const uint8_t type = stream.ReadByte();
  auto value = std::make_unique<EncodableValue>(serializer_->ReadValueOfType(type, &stream));
  if (stream.failed()) return nullptr;
  return value;
}

std::unique_ptr<std::vector<uint8_t>> StandardMessageCodec::EncodeMessageInternal(
    const EncodableValue& message) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  // Room for a typical channel message up front, so that it does not grow through a
  // series of small reallocations.
  encoded->reserve(kInitialMessageCapacity);
  ByteBufferStreamWriter stream(encoded.get());
  serializer_->WriteValue(message, &stream);
  return encoded;
}

}  // namespace vela
