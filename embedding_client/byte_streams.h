#ifndef TERVALA_EMBEDDING_CLIENT_BYTE_STREAMS_H_
#define TERVALA_EMBEDDING_CLIENT_BYTE_STREAMS_H_

// The byte source and sink the standard codec reads from and writes to, and their
// in-memory implementations.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vela {

class ByteBufferStreamReader;
class ByteBufferStreamWriter;

// An abstract byte source. Besides its byte operations it carries the state of one
// decode: whether the decode has failed (a read past the end, a size that cannot fit in
// the remaining bytes, nesting too deep) and how deeply the value being read is nested.
class ByteStreamReader {
 public:
  ByteStreamReader() = default;
  virtual ~ByteStreamReader() = default;
  // Reads one byte; yields 0 when there is none.
  virtual uint8_t ReadByte() = 0;
  // Reads `length` bytes into `buffer`; copies nothing when fewer remain.
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Advances to the next multiple of `alignment`, counted from the message start.
  virtual void ReadAlignment(uint8_t alignment) = 0;
  // The count of bytes not yet read. Sizes read from the wire are checked against it
  // before anything is allocated for them.
  virtual size_t RemainingBytes() const = 0;

  // Whether this decode has failed. A failed decode yields no value.
  bool failed() const { return failed_; }
  // Marks this decode as failed.
  void SetFailed() { failed_ = true; }

  // Nesting of lists, maps and custom records, guarded against hostile input that would
  // otherwise recurse until the stack runs out. EnterNested returns false (and fails the
  // decode) past kMaxNestingDepth; each successful EnterNested needs one LeaveNested.
  static constexpr int kMaxNestingDepth = 256;
  bool EnterNested();
  void LeaveNested() { --depth_; }

  // This stream as the in-memory reader when it is one, else null. The serializer reads
  // an in-memory message through it directly, without a virtual call per read.
  inline ByteBufferStreamReader* AsBufferReader();

 protected:
  // Copies only as a whole stream of the same kind, never sliced through a base.
  ByteStreamReader(const ByteStreamReader&) = default;
  ByteStreamReader& operator=(const ByteStreamReader&) = default;

 private:
  friend class ByteBufferStreamReader;
  struct InMemory {};
  explicit ByteStreamReader(InMemory) : in_memory_(true) {}

  bool failed_ = false;
  bool in_memory_ = false;
  int depth_ = 0;
};

// An abstract byte sink.
class ByteStreamWriter {
 public:
  ByteStreamWriter() = default;
  virtual ~ByteStreamWriter() = default;
  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Appends zero bytes until the output length is a multiple of `alignment`.
  virtual void WriteAlignment(uint8_t alignment) = 0;

  // This stream as the in-memory writer when it is one, else null. The serializer
  // appends through it directly, without a virtual call per write.
  inline ByteBufferStreamWriter* AsBufferWriter();

 protected:
  // Copies only as a whole stream of the same kind, never sliced through a base.
  ByteStreamWriter(const ByteStreamWriter&) = default;
  ByteStreamWriter& operator=(const ByteStreamWriter&) = default;

 private:
  friend class ByteBufferStreamWriter;
  struct InMemory {};
  explicit ByteStreamWriter(InMemory) : in_memory_(true) {}

  bool in_memory_ = false;
};

// Reads in place from a byte range that the caller owns and keeps alive. The operations
// are defined here so that the serializer's direct reads compile to plain loads.
class ByteBufferStreamReader final : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size)
      : ByteStreamReader(InMemory{}), bytes_(bytes), size_(size) {}

  uint8_t ReadByte() override {
    if (location_ >= size_) [[unlikely]] {
      InvalidRead();
      return 0;
    }
    return bytes_[location_++];
  }
  void ReadBytes(uint8_t* buffer, size_t length) override {
    if (length > size_ - location_) [[unlikely]] {
      InvalidRead();
      return;
    }
    if (length != 0) std::memcpy(buffer, bytes_ + location_, length);
    location_ += length;
  }
  void ReadAlignment(uint8_t alignment) override {
    if (alignment == 0) return;
    const size_t remainder = location_ % alignment;
    if (remainder == 0) return;
    const size_t padding = alignment - remainder;
    // Padding past the end leaves nothing to read; the next read reports it.
    location_ = padding > size_ - location_ ? size_ : location_ + padding;
  }
  size_t RemainingBytes() const override { return size_ - location_; }

  // The read position, from the start of the range.
  size_t location() const { return location_; }

  // The next `length` bytes, which the caller copies out itself, and the position moved
  // past them; or null (with the invalid-read diagnostic and the decode failed, the
  // position unchanged) when fewer remain. Lets strings and typed lists be built from
  // the message in one pass instead of being zero-filled and then overwritten.
  const uint8_t* Take(size_t length) {
    if (length > size_ - location_) [[unlikely]] {
      InvalidRead();
      return nullptr;
    }
    const uint8_t* taken = bytes_ + location_;
    location_ += length;
    return taken;
  }

 private:
  // Reports a read past the end and fails the decode.
  void InvalidRead();

  const uint8_t* bytes_;
  size_t size_;
  size_t location_ = 0;
};

// Appends to a byte vector that the caller owns. The operations are defined here so
// that the serializer's direct writes compile to plain stores.
class ByteBufferStreamWriter final : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer)
      : ByteStreamWriter(InMemory{}), buffer_(buffer) {}

  void WriteByte(uint8_t byte) override { buffer_->push_back(byte); }
  void WriteBytes(const uint8_t* bytes, size_t length) override {
    if (length != 0) buffer_->insert(buffer_->end(), bytes, bytes + length);
  }
  void WriteAlignment(uint8_t alignment) override {
    if (alignment == 0) return;
    // At most a few bytes: appended one by one, which stays inline.
    for (size_t i = buffer_->size() % alignment; i != 0 && i < alignment; ++i) {
      buffer_->push_back(0);
    }
  }

  // The count of bytes written so far.
  size_t size() const { return buffer_->size(); }

 private:
  std::vector<uint8_t>* buffer_;
};

inline ByteBufferStreamReader* ByteStreamReader::AsBufferReader() {
  return in_memory_ ? static_cast<ByteBufferStreamReader*>(this) : nullptr;
}

inline ByteBufferStreamWriter* ByteStreamWriter::AsBufferWriter() {
  return in_memory_ ? static_cast<ByteBufferStreamWriter*>(this) : nullptr;
}

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_BYTE_STREAMS_H_
