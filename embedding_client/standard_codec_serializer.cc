#include "embedding_client/standard_codec_serializer.h"

#include <algorithm>
#include <bit>
#include <iostream>
#include <limits>
#include <string>
#include <type_traits>

namespace vela {
namespace {

// Wire tags of the standard format.
enum : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // Read as a string; never written.
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

// Elements reserved up front for a list read from the wire.
constexpr size_t kListReserveLimit = 256;

// The wire is little-endian. On a little-endian host numbers and typed lists are copied
// as they are, in one bulk read or write; a big-endian host swaps them in place.
template <typename T>
void SwapToOrFromWire(T* values, size_t count) {
  if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
    for (size_t i = 0; i < count; ++i) {
      auto* bytes = reinterpret_cast<uint8_t*>(values + i);
      for (size_t j = 0; j < sizeof(T) / 2; ++j) std::swap(bytes[j], bytes[sizeof(T) - 1 - j]);
    }
  } else {
    (void)values;
    (void)count;
  }
}

template <typename T>
void WriteNumber(T value, ByteStreamWriter* stream) {
  SwapToOrFromWire(&value, 1);
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(T));
}

template <typename T>
T ReadNumber(ByteStreamReader* stream) {
  T value{};
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(T));
  SwapToOrFromWire(&value, 1);
  return value;
}

template <typename T>
void WriteTypedList(const std::vector<T>& list, const StandardCodecSerializer& serializer,
                    ByteStreamWriter* stream) {
  serializer.WriteSize(list.size(), stream);
  // Padded even when empty: the reader aligns before the elements whatever the count.
  stream->WriteAlignment(sizeof(T) > 1 ? sizeof(T) : 1);
  if (list.empty()) return;
  if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
    for (T element : list) WriteNumber(element, stream);
  } else {
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
  }
}

// Whether `count` items of at least `unit` bytes each fit in the bytes left. A size that
// cannot fit fails the decode with a diagnostic line (unless it has already failed).
bool SizeFits(size_t count, size_t unit, ByteStreamReader* stream) {
  if (stream->failed()) return false;
  if (count <= stream->RemainingBytes() / unit) return true;
  std::cerr << "Invalid size in StandardCodecSerializer::ReadValueOfType: " +
                   std::to_string(count) + " elements cannot fit in " +
                   std::to_string(stream->RemainingBytes()) + " remaining bytes\n";
  stream->SetFailed();
  return false;
}

// Reads `count` elements of T, after checking that they fit in the remaining bytes, so
// that a hostile count never allocates more than the message could hold.
template <typename T>
EncodableValue ReadTypedList(size_t count, ByteStreamReader* stream) {
  if (!SizeFits(count, sizeof(T), stream)) return EncodableValue();
  std::vector<T> list(count);
  if (count != 0) {
    stream->ReadBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
    SwapToOrFromWire(list.data(), count);
  }
  return EncodableValue(std::move(list));
}

// Balances ByteStreamReader::EnterNested for the lifetime of a nested read.
class NestingScope {
 public:
  explicit NestingScope(ByteStreamReader* stream)
      : stream_(stream), entered_(stream->EnterNested()) {}
  ~NestingScope() {
    if (entered_) stream_->LeaveNested();
  }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
  bool entered() const { return entered_; }

 private:
  ByteStreamReader* stream_;
  bool entered_;
};

}  // namespace

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  const uint8_t type = stream->ReadByte();
  if (stream->failed()) return EncodableValue();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  struct Writer {
    const StandardCodecSerializer& serializer;
    ByteStreamWriter* stream;

    void operator()(std::monostate) const { stream->WriteByte(kNull); }
    void operator()(bool b) const { stream->WriteByte(b ? kTrue : kFalse); }
    void operator()(int32_t i) const {
      stream->WriteByte(kInt32);
      WriteNumber(i, stream);
    }
    void operator()(int64_t i) const {
      stream->WriteByte(kInt64);
      WriteNumber(i, stream);
    }
    void operator()(double d) const {
      stream->WriteByte(kFloat64);
      stream->WriteAlignment(8);
      WriteNumber(d, stream);
    }
    void operator()(const std::string& s) const {
      stream->WriteByte(kString);
      serializer.WriteSize(s.size(), stream);
      if (!s.empty()) stream->WriteBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
    void operator()(const std::vector<uint8_t>& bytes) const {
      stream->WriteByte(kUInt8List);
      serializer.WriteSize(bytes.size(), stream);
      if (!bytes.empty()) stream->WriteBytes(bytes.data(), bytes.size());
    }
    void operator()(const std::vector<int32_t>& list) const {
      stream->WriteByte(kInt32List);
      WriteTypedList(list, serializer, stream);
    }
    void operator()(const std::vector<int64_t>& list) const {
      stream->WriteByte(kInt64List);
      WriteTypedList(list, serializer, stream);
    }
    void operator()(const std::vector<double>& list) const {
      stream->WriteByte(kFloat64List);
      WriteTypedList(list, serializer, stream);
    }
    void operator()(const std::vector<float>& list) const {
      stream->WriteByte(kFloat32List);
      WriteTypedList(list, serializer, stream);
    }
    void operator()(const EncodableList& list) const {
      stream->WriteByte(kList);
      serializer.WriteSize(list.size(), stream);
      for (const EncodableValue& element : list) serializer.WriteValue(element, stream);
    }
    void operator()(const EncodableMap& map) const {
      stream->WriteByte(kMap);
      serializer.WriteSize(map.size(), stream);
      for (const auto& [key, element] : map) {
        serializer.WriteValue(key, stream);
        serializer.WriteValue(element, stream);
      }
    }
    void operator()(const CustomEncodableValue&) const {
      stream->WriteByte(kNull);
      std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                   "Custom types require codec extensions.\n";
    }
  };
  std::visit(Writer{*this, stream}, value.variant());
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadNumber<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadNumber<int64_t>(stream));
    case kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(ReadNumber<double>(stream));
    case kLargeInt:
    case kString: {
      const size_t size = ReadSize(stream);
      if (!SizeFits(size, 1, stream)) return EncodableValue();
      std::string text(size, '\0');
      if (size != 0) stream->ReadBytes(reinterpret_cast<uint8_t*>(text.data()), size);
      return EncodableValue(std::move(text));
    }
    case kUInt8List:
      return ReadTypedList<uint8_t>(ReadSize(stream), stream);
    case kInt32List: {
      const size_t count = ReadSize(stream);
      stream->ReadAlignment(4);
      return ReadTypedList<int32_t>(count, stream);
    }
    case kFloat32List: {
      const size_t count = ReadSize(stream);
      stream->ReadAlignment(4);
      return ReadTypedList<float>(count, stream);
    }
    case kInt64List: {
      const size_t count = ReadSize(stream);
      stream->ReadAlignment(8);
      return ReadTypedList<int64_t>(count, stream);
    }
    case kFloat64List: {
      const size_t count = ReadSize(stream);
      stream->ReadAlignment(8);
      return ReadTypedList<double>(count, stream);
    }
    case kList: {
      const size_t count = ReadSize(stream);
      // Every element takes at least its tag byte.
      if (!SizeFits(count, 1, stream)) break;
      NestingScope nesting(stream);
      if (!nesting.entered()) break;
      EncodableList list;
      // A count that fits the remaining bytes may still be far more than the elements
      // that follow hold (an element is much larger than its one-byte tag), and nested
      // lists could each claim nearly all of the message; so reserve a little and let the
      // list grow with what is actually read.
      list.reserve(std::min<size_t>(count, kListReserveLimit));
      for (size_t i = 0; i < count; ++i) {
        const uint8_t element_type = stream->ReadByte();
        if (stream->failed()) break;
        list.push_back(ReadValueOfType(element_type, stream));
        if (stream->failed()) break;
      }
      if (stream->failed()) return EncodableValue();
      return EncodableValue(std::move(list));
    }
    case kMap: {
      const size_t count = ReadSize(stream);
      // Every entry takes at least two tag bytes.
      if (!SizeFits(count, 2, stream)) break;
      NestingScope nesting(stream);
      if (!nesting.entered()) break;
      EncodableMap map;
      for (size_t i = 0; i < count; ++i) {
        EncodableValue key = ReadValue(stream);
        if (stream->failed()) break;
        EncodableValue element = ReadValue(stream);
        if (stream->failed()) break;
        // On a repeated key the first value stays.
        map.emplace(std::move(key), std::move(element));
      }
      if (stream->failed()) return EncodableValue();
      return EncodableValue(std::move(map));
    }
    default:
      std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: " +
                       std::to_string(type) + "\n";
      return EncodableValue();
  }
  stream->SetFailed();
  return EncodableValue();
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t byte = stream->ReadByte();
  if (byte < 254) return byte;
  if (byte == 254) return ReadNumber<uint16_t>(stream);
  return ReadNumber<uint32_t>(stream);
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= std::numeric_limits<uint16_t>::max()) {
    stream->WriteByte(254);
    WriteNumber(static_cast<uint16_t>(size), stream);
  } else {
    if (size > std::numeric_limits<uint32_t>::max()) {
      std::cerr << "Size too large in StandardCodecSerializer::WriteSize: " + std::to_string(size) +
                       "\n";
    }
    stream->WriteByte(255);
    WriteNumber(static_cast<uint32_t>(size), stream);
  }
}

}  // namespace vela
