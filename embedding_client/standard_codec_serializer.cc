#include "embedding_client/standard_codec_serializer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <string>
#include <type_traits>
#include <typeinfo>

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

// The serializer's reads and writes go through these helpers, written once for both kinds
// of stream: S is either the abstract stream (every operation a virtual call) or the
// in-memory one (final, so its inline operations are called directly). Nested values
// always go back through the serializer's virtual operations with the abstract stream,
// so that an extension sees them.
template <typename S>
constexpr bool kInMemory =
    std::is_same_v<S, ByteBufferStreamWriter> || std::is_same_v<S, ByteBufferStreamReader>;

template <typename T, typename S>
void WriteNumber(T value, S* stream) {
  SwapToOrFromWire(&value, 1);
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(T));
}

// A size of 254 or more: the marker byte and 2 or 4 bytes.
template <typename S>
void WriteLongSize(size_t size, S* stream) {
  if (size <= std::numeric_limits<uint16_t>::max()) {
    stream->WriteByte(254);
    WriteNumber(static_cast<uint16_t>(size), stream);
    return;
  }
  if (size > std::numeric_limits<uint32_t>::max()) {
    std::cerr << "Size too large in StandardCodecSerializer::WriteSize: " + std::to_string(size) +
                     "\n";
  }
  stream->WriteByte(255);
  WriteNumber(static_cast<uint32_t>(size), stream);
}

template <typename S>
inline void WriteSizeTo(size_t size, S* stream) {
  if (size < 254) [[likely]] {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else {
    WriteLongSize(size, stream);
  }
}

// A tag and then bytes of content, the header and body of strings and byte lists.
template <typename S>
void WriteSized(uint8_t tag, const void* bytes, size_t size, S* stream) {
  stream->WriteByte(tag);
  WriteSizeTo(size, stream);
  if (size != 0) stream->WriteBytes(static_cast<const uint8_t*>(bytes), size);
}

template <typename T, typename S>
void WriteTypedList(uint8_t tag, const std::vector<T>& list, S* stream) {
  stream->WriteByte(tag);
  WriteSizeTo(list.size(), stream);
  // Padded even when empty: the reader aligns before the elements whatever the count.
  stream->WriteAlignment(sizeof(T));
  if (list.empty()) return;
  if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
    for (T element : list) WriteNumber(element, stream);
  } else {
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
  }
}

// Writes one value's tag and content to S; nested values go through the serializer.
template <typename S>
struct Writer {
  const StandardCodecSerializer& serializer;
  S* out;
  ByteStreamWriter* stream;  // the same stream, as the serializer's operations take it
  // Whether the serializer is the standard one itself, not an extension: nested values
  // then need not go back through its virtual WriteValue.
  bool standard;

  // Writes a nested value. With the standard serializer it is dispatched right here,
  // inlined at each call site, so that keys, map values and list elements each have a
  // dispatch of their own whose targets the branch predictor learns separately (map keys,
  // nearly always strings, then cost no misprediction).
  [[gnu::always_inline]] void Nested(const EncodableValue& value) const {
    if (standard) {
      std::visit(*this, value.variant());
    } else {
      serializer.WriteValue(value, stream);
    }
  }

  void operator()(std::monostate) const { out->WriteByte(kNull); }
  void operator()(bool b) const { out->WriteByte(b ? kTrue : kFalse); }
  void operator()(int32_t i) const {
    out->WriteByte(kInt32);
    WriteNumber(i, out);
  }
  void operator()(int64_t i) const {
    out->WriteByte(kInt64);
    WriteNumber(i, out);
  }
  void operator()(double d) const {
    out->WriteByte(kFloat64);
    out->WriteAlignment(8);
    WriteNumber(d, out);
  }
  void operator()(const std::string& s) const { WriteSized(kString, s.data(), s.size(), out); }
  void operator()(const std::vector<uint8_t>& bytes) const {
    WriteSized(kUInt8List, bytes.data(), bytes.size(), out);
  }
  void operator()(const std::vector<int32_t>& list) const { WriteTypedList(kInt32List, list, out); }
  void operator()(const std::vector<int64_t>& list) const { WriteTypedList(kInt64List, list, out); }
  void operator()(const std::vector<double>& list) const {
    WriteTypedList(kFloat64List, list, out);
  }
  void operator()(const std::vector<float>& list) const { WriteTypedList(kFloat32List, list, out); }
  void operator()(const EncodableList& list) const {
    out->WriteByte(kList);
    WriteSizeTo(list.size(), out);
    for (const EncodableValue& element : list) Nested(element);
  }
  void operator()(const EncodableMap& map) const {
    out->WriteByte(kMap);
    WriteSizeTo(map.size(), out);
    for (const auto& [key, element] : map) {
      Nested(key);
      Nested(element);
    }
  }
  void operator()(const CustomEncodableValue&) const {
    out->WriteByte(kNull);
    std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                 "Custom types require codec extensions.\n";
  }
};

template <typename T, typename S>
T ReadNumber(S* stream) {
  T value{};
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(T));
  SwapToOrFromWire(&value, 1);
  return value;
}

template <typename S>
size_t ReadSizeFrom(S* stream) {
  const uint8_t byte = stream->ReadByte();
  if (byte < 254) return byte;
  if (byte == 254) return ReadNumber<uint16_t>(stream);
  return ReadNumber<uint32_t>(stream);
}

// Whether `count` items of at least `unit` bytes each fit in the bytes left. A size that
// cannot fit fails the decode with a diagnostic line (unless it has already failed).
template <typename S>
bool SizeFits(size_t count, size_t unit, S* stream) {
  if (stream->failed()) return false;
  if (count <= stream->RemainingBytes() / unit) [[likely]]
    return true;
  std::cerr << "Invalid size in StandardCodecSerializer::ReadValueOfType: " +
                   std::to_string(count) + " elements cannot fit in " +
                   std::to_string(stream->RemainingBytes()) + " remaining bytes\n";
  stream->SetFailed();
  return false;
}

// Reads `count` elements of T, after checking that they fit in the remaining bytes, so
// that a hostile count never allocates more than the message could hold.
template <typename T, typename S>
EncodableValue ReadTypedList(size_t count, S* stream) {
  if (!SizeFits(count, sizeof(T), stream)) return EncodableValue();
  if constexpr (kInMemory<S>) {
    const uint8_t* bytes = stream->Take(count * sizeof(T));
    if (bytes == nullptr) return EncodableValue();
    std::vector<T> list;
    if (reinterpret_cast<uintptr_t>(bytes) % alignof(T) == 0) {
      // The wire aligns elements from the message start, so in a message that starts on
      // an 8-byte boundary (as allocated buffers do) they lie aligned in memory: the list
      // is built from them in one copy, without zero-filling it first.
      const T* elements = reinterpret_cast<const T*>(bytes);
      list.assign(elements, elements + count);
    } else {
      list.resize(count);
      if (count != 0) std::memcpy(list.data(), bytes, count * sizeof(T));
    }
    SwapToOrFromWire(list.data(), count);
    return EncodableValue(std::move(list));
  } else {
    std::vector<T> list(count);
    if (count != 0) {
      stream->ReadBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
      SwapToOrFromWire(list.data(), count);
    }
    return EncodableValue(std::move(list));
  }
}

template <typename S>
EncodableValue ReadString(size_t size, S* stream) {
  if (!SizeFits(size, 1, stream)) return EncodableValue();
  if constexpr (kInMemory<S>) {
    const uint8_t* bytes = stream->Take(size);
    if (bytes == nullptr) return EncodableValue();
    return EncodableValue(std::string(reinterpret_cast<const char*>(bytes), size));
  } else {
    std::string text(size, '\0');
    if (size != 0) stream->ReadBytes(reinterpret_cast<uint8_t*>(text.data()), size);
    return EncodableValue(std::move(text));
  }
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

// Where a nested value is read: map keys apart from everything else, so that each
// place's dispatch on the tag has targets of its own for the branch predictor to learn
// (keys are nearly always strings).
enum Site { kKeySite, kValueSite };

// Reads the content of a value of the standard tag `type` from S (`stream` is the same
// stream, as the serializer's operations take it). `standard` says that the serializer is
// the standard one itself, not an extension: nested values are then read here directly
// rather than through its virtual ReadValueOfType.
template <Site kSite, typename S>
EncodableValue ReadContent(const StandardCodecSerializer& serializer, uint8_t type, S* in,
                           ByteStreamReader* stream, bool standard);

template <Site kSite, typename S>
EncodableValue ReadNested(const StandardCodecSerializer& serializer, uint8_t type, S* in,
                          ByteStreamReader* stream, bool standard) {
  if (standard) return ReadContent<kSite>(serializer, type, in, stream, standard);
  return serializer.ReadValueOfType(type, stream);
}

template <Site kSite, typename S>
EncodableValue ReadContent(const StandardCodecSerializer& serializer, uint8_t type, S* in,
                           ByteStreamReader* stream, bool standard) {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadNumber<int32_t>(in));
    case kInt64:
      return EncodableValue(ReadNumber<int64_t>(in));
    case kFloat64:
      in->ReadAlignment(8);
      return EncodableValue(ReadNumber<double>(in));
    case kLargeInt:
    case kString:
      return ReadString(ReadSizeFrom(in), in);
    case kUInt8List:
      return ReadTypedList<uint8_t>(ReadSizeFrom(in), in);
    case kInt32List: {
      const size_t count = ReadSizeFrom(in);
      in->ReadAlignment(4);
      return ReadTypedList<int32_t>(count, in);
    }
    case kFloat32List: {
      const size_t count = ReadSizeFrom(in);
      in->ReadAlignment(4);
      return ReadTypedList<float>(count, in);
    }
    case kInt64List: {
      const size_t count = ReadSizeFrom(in);
      in->ReadAlignment(8);
      return ReadTypedList<int64_t>(count, in);
    }
    case kFloat64List: {
      const size_t count = ReadSizeFrom(in);
      in->ReadAlignment(8);
      return ReadTypedList<double>(count, in);
    }
    case kList: {
      const size_t count = ReadSizeFrom(in);
      // Every element takes at least its tag byte.
      if (!SizeFits(count, 1, in)) break;
      NestingScope nesting(stream);
      if (!nesting.entered()) break;
      EncodableList list;
      // A count that fits the remaining bytes may still be far more than the elements
      // that follow hold (an element is much larger than its one-byte tag), and nested
      // lists could each claim nearly all of the message; so reserve a little and let the
      // list grow with what is actually read.
      list.reserve(std::min<size_t>(count, kListReserveLimit));
      for (size_t i = 0; i < count; ++i) {
        const uint8_t element_type = in->ReadByte();
        if (in->failed()) break;
        list.push_back(ReadNested<kValueSite>(serializer, element_type, in, stream, standard));
        if (in->failed()) break;
      }
      if (in->failed()) return EncodableValue();
      return EncodableValue(std::move(list));
    }
    case kMap: {
      const size_t count = ReadSizeFrom(in);
      // Every entry takes at least two tag bytes.
      if (!SizeFits(count, 2, in)) break;
      NestingScope nesting(stream);
      if (!nesting.entered()) break;
      EncodableMap map;
      for (size_t i = 0; i < count; ++i) {
        const uint8_t key_type = in->ReadByte();
        if (in->failed()) break;
        EncodableValue key = ReadNested<kKeySite>(serializer, key_type, in, stream, standard);
        if (in->failed()) break;
        const uint8_t element_type = in->ReadByte();
        if (in->failed()) break;
        EncodableValue element =
            ReadNested<kValueSite>(serializer, element_type, in, stream, standard);
        if (in->failed()) break;
        // On a repeated key the first value stays. Writers put the keys in order, so the
        // hint at the end makes each insertion constant time; keys out of order still
        // find their place, with a search.
        map.emplace_hint(map.end(), std::move(key), std::move(element));
      }
      if (in->failed()) return EncodableValue();
      return EncodableValue(std::move(map));
    }
    default:
      std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: " +
                       std::to_string(type) + "\n";
      return EncodableValue();
  }
  in->SetFailed();
  return EncodableValue();
}

// Whether `serializer` is the standard serializer itself rather than an extension. The
// type identities are compared by address: cheap on every nested value of an extension,
// and when the same type has two identities (one per shared library) the answer is merely
// "no", which takes the virtual path and stays correct.
bool IsStandard(const StandardCodecSerializer& serializer) {
  return &typeid(serializer) == &typeid(StandardCodecSerializer);
}

}  // namespace

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  // Never destroyed: a plug-in thread may still encode a late reply while the process ends,
  // after static objects are gone, and the codecs that use it live as long. Built in static
  // storage rather than on the heap, so that a library unloaded with it leaks nothing.
  alignas(StandardCodecSerializer) static unsigned char storage[sizeof(StandardCodecSerializer)];
  static const auto* const instance = new (storage) StandardCodecSerializer();
  return *instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  const uint8_t type = stream->ReadByte();
  if (stream->failed()) return EncodableValue();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  const bool standard = IsStandard(*this);
  if (ByteBufferStreamWriter* buffer = stream->AsBufferWriter()) {
    std::visit(Writer<ByteBufferStreamWriter>{*this, buffer, stream, standard}, value.variant());
  } else {
    std::visit(Writer<ByteStreamWriter>{*this, stream, stream, standard}, value.variant());
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  const bool standard = IsStandard(*this);
  if (ByteBufferStreamReader* buffer = stream->AsBufferReader()) {
    return ReadContent<kValueSite>(*this, type, buffer, stream, standard);
  }
  return ReadContent<kValueSite>(*this, type, stream, stream, standard);
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  if (ByteBufferStreamReader* buffer = stream->AsBufferReader()) return ReadSizeFrom(buffer);
  return ReadSizeFrom(stream);
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (ByteBufferStreamWriter* buffer = stream->AsBufferWriter()) return WriteSizeTo(size, buffer);
  WriteSizeTo(size, stream);
}

}  // namespace vela
