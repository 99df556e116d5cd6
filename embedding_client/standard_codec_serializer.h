#ifndef TERVALA_EMBEDDING_CLIENT_STANDARD_CODEC_SERIALIZER_H_
#define TERVALA_EMBEDDING_CLIENT_STANDARD_CODEC_SERIALIZER_H_

// Maps encodable values to the standard binary wire format and back. Subclasses may
// claim further type tags for custom values; nested values go through the virtual
// operations, so a subclass sees values inside lists and maps too.

#include <cstddef>
#include <cstdint>

#include "embedding_client/byte_streams.h"
#include "embedding_client/encodable_value.h"

namespace vela {

// The standard serializer. Stateless; the process-wide instance is GetInstance().
class StandardCodecSerializer {
 public:
  StandardCodecSerializer() = default;
  virtual ~StandardCodecSerializer() = default;
  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The process-wide default serializer, created on first use.
  static const StandardCodecSerializer& GetInstance();

  // Writes the value's tag byte and then its content.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

  // Reads the content of a value whose tag byte has already been read. An unknown tag
  // yields null with a diagnostic line. A failure (see ByteStreamReader::failed) yields
  // null, and the caller must discard whatever it has read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  // Reads a tag byte and then the value through ReadValueOfType.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  // Reads a size: one byte below 254; 254 and a 16-bit size; 255 and a 32-bit size.
  size_t ReadSize(ByteStreamReader* stream) const;

  // Writes a size in the form ReadSize reads. Sizes above 32 bits cannot be encoded.
  void WriteSize(size_t size, ByteStreamWriter* stream) const;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_STANDARD_CODEC_SERIALIZER_H_
