#ifndef TERVALA_EMBEDDING_CLIENT_BYTE_STREAMS_H_
#define TERVALA_EMBEDDING_CLIENT_BYTE_STREAMS_H_

// The byte source and sink the standard codec reads from and writes to, and their
// in-memory implementations.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vela {

// An abstract byte source. Besides its byte operations it carries the state of one
// decode: whether the decode has failed (a read past the end, a size that cannot fit in
// the remaining bytes, nesting too deep) and how deeply the value being read is nested.
class ByteStreamReader {
 public:
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

 private:
  bool failed_ = false;
  int depth_ = 0;
};

// An abstract byte sink.
class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter() = default;
  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Appends zero bytes until the output length is a multiple of `alignment`.
  virtual void WriteAlignment(uint8_t alignment) = 0;
};

// Reads in place from a byte range that the caller owns and keeps alive.
class ByteBufferStreamReader final : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* buffer, size_t length) override;
  void ReadAlignment(uint8_t alignment) override;
  size_t RemainingBytes() const override { return size_ - location_; }

  // The read position, from the start of the range.
  size_t location() const { return location_; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t location_ = 0;
};

// Appends to a byte vector that the caller owns.
class ByteBufferStreamWriter final : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

  void WriteByte(uint8_t byte) override { buffer_->push_back(byte); }
  void WriteBytes(const uint8_t* bytes, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace vela

#endif  // TERVALA_EMBEDDING_CLIENT_BYTE_STREAMS_H_
