#ifndef TERVALA_EMBEDDING_CLIENT_STANDARD_MESSAGE_CODEC_H_
#define TERVALA_EMBEDDING_CLIENT_STANDARD_MESSAGE_CODEC_H_

// The message codec of the standard binary format: one encodable value per message,
// written and read by a StandardCodecSerializer (or an extension of it).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "embedding_client/encodable_value.h"
#include "embedding_client/message_codec.h"
#include "embedding_client/standard_codec_serializer.h"

namespace vela {

// One codec exists per serializer for the life of the process; get it with GetInstance.
class StandardMessageCodec : public MessageCodec<EncodableValue> {
 public:
  // The codec for `serializer` (not owned; it must live until the process ends), or for
  // the default serializer when it is null. Later calls with the same serializer return
  // the same codec.
  static const StandardMessageCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);

  ~StandardMessageCodec() override = default;

 protected:
  // A message without bytes (null data or size 0) is the null value. A message that ends
  // before its value does, or that holds a size that cannot fit, does not decode (null
  // result). Bytes after the value are ignored.
  std::unique_ptr<EncodableValue> DecodeMessageInternal(const uint8_t* binary_message,
                                                        size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMessageInternal(
      const EncodableValue& message) const override;

 private:
  explicit StandardMessageCodec(const StandardCodecSerializer* serializer)
      : serializer_(serializer) {}

  const StandardCodecSerializer* serializer_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_STANDARD_MESSAGE_CODEC_H_
