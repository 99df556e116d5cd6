#include "app/heartbeat/zlib.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "app/assert.h"
#include "app/log.h"

namespace nimbus {
namespace heartbeat {
namespace {

// zlib's lengths are uInt; ours are 32-bit and always fit.
static_assert(sizeof(uInt) >= sizeof(uint32_t));

// The header this class writes: magic, method deflate, no flags, modification time 0,
// extra flags 2, operating system 255 (unknown).
constexpr uint8_t kGzipHeader[] = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFF};
constexpr uint32_t kGzipHeaderSize = sizeof(kGzipHeader);
// The trailer: CRC-32 of the data, then its length modulo 2^32, both little-endian.
constexpr uint32_t kGzipTrailerSize = 8;
constexpr int kInflateWindowBits = 15;

void StoreLittleEndian32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t LoadLittleEndian32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// Hex text of at most `limit` bytes, for debug messages.
std::string HexBytes(const uint8_t* bytes, size_t count, size_t limit) {
  std::string text;
  const size_t shown = std::min(count, limit);
  text.reserve(shown * 3);
  char pair[4];
  for (size_t i = 0; i < shown; ++i) {
    std::snprintf(pair, sizeof(pair), i == 0 ? "%02x" : " %02x", bytes[i]);
    text += pair;
  }
  return text;
}

uint32_t InitialCrc() { return static_cast<uint32_t>(crc32(0L, Z_NULL, 0)); }

uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, uint32_t length) {
  if (length == 0) return crc;
  return static_cast<uint32_t>(crc32(crc, data, length));
}

}  // namespace

ZLib::ZLib() = default;

ZLib::~ZLib() {
  EndDeflate();
  EndInflate();
}

void ZLib::Reset() {
  first_chunk_ = true;
  header_parser_.Reset();
  trailer_count_ = -1;
}

void ZLib::EndDeflate() {
  if (deflate_stream_ != nullptr) {
    deflateEnd(deflate_stream_.get());
    deflate_stream_.reset();
  }
}

void ZLib::EndInflate() {
  if (inflate_stream_ != nullptr) {
    inflateEnd(inflate_stream_.get());
    inflate_stream_.reset();
  }
}

void ZLib::ResetSettings() {
  dictionary_ = {};
  level_ = -1;
  window_bits_ = 15;
  memory_level_ = 8;
  no_header_mode_ = false;
  gzip_header_mode_ = false;
  report_stream_end_ = false;
  if (deflate_stream_ != nullptr && deflateReset(deflate_stream_.get()) != Z_OK) EndDeflate();
  if (inflate_stream_ != nullptr) {
    if (inflateReset2(inflate_stream_.get(), kInflateWindowBits) == Z_OK) {
      inflate_no_header_ = false;
    } else {
      EndInflate();
    }
  }
  Reset();
}

void ZLib::ChangeFraming(bool no_header) {
  // Streams set up for the other framing are ended; otherwise they are reused as they are.
  if (inflate_no_header_ != no_header) {
    EndDeflate();
    EndInflate();
  }
  Reset();
}

void ZLib::UseGzipFraming() {
  gzip_header_mode_ = true;
  no_header_mode_ = true;
  ChangeFraming(true);
}

void ZLib::UseRawFraming(bool raw) {
  gzip_header_mode_ = false;
  no_header_mode_ = raw;
  ChangeFraming(raw);
}

void ZLib::SetDictionary(const uint8_t* dictionary, uint32_t length) {
  if (no_header_mode_ || gzip_header_mode_) {
    LogAssert("Incompatible params: require zlib headers with preset dictionary");
    return;
  }
  dictionary_ = {dictionary, length};
}

void ZLib::SetCompressionLevel(int level) { level_ = level; }

void ZLib::ReportStreamEnd(bool report) { report_stream_end_ = report; }

// ---------------------------------------------------------------------------------------
// Compression

int ZLib::DeflateSetUp(uint8_t* dest, uint32_t dest_capacity, uint32_t* header_written) {
  *header_written = 0;
  const DeflateSettings wanted{dictionary_, level_, window_bits_, memory_level_, no_header_mode_};
  if (deflate_stream_ != nullptr) {
    const DeflateSettings& have = deflate_settings_;
    if (have.dictionary != wanted.dictionary || have.window_bits != wanted.window_bits ||
        have.memory_level != wanted.memory_level || have.no_header != wanted.no_header ||
        deflateReset(deflate_stream_.get()) != Z_OK) {
      EndDeflate();
    }
  }
  if (deflate_stream_ != nullptr && deflate_settings_.level != level_) {
    if (deflateParams(deflate_stream_.get(), level_, Z_DEFAULT_STRATEGY) == Z_OK) {
      deflate_settings_.level = level_;
    } else {
      EndDeflate();
    }
  }
  if (deflate_stream_ == nullptr) {
    auto stream = std::make_unique<z_stream>();
    const int err = deflateInit2(stream.get(), level_, Z_DEFLATED,
                                 no_header_mode_ ? -window_bits_ : window_bits_, memory_level_,
                                 Z_DEFAULT_STRATEGY);
    if (err != Z_OK) return err;
    deflate_stream_ = std::move(stream);
    deflate_settings_ = wanted;
  }
  if (gzip_header_mode_) {
    if (dest_capacity <= kGzipHeaderSize) return Z_BUF_ERROR;
    std::memcpy(dest, kGzipHeader, kGzipHeaderSize);
    *header_written = kGzipHeaderSize;
    crc_ = InitialCrc();
  }
  if (dictionary_.data != nullptr) {
    const int err =
        deflateSetDictionary(deflate_stream_.get(), dictionary_.data, dictionary_.length);
    if (err != Z_OK) return err;
  }
  uncompressed_size_ = 0;
  first_chunk_ = false;
  return Z_OK;
}

int ZLib::DeflateStep(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                      uint32_t* source_len, int flush_mode, bool* stream_end) {
  *stream_end = false;
  const uint32_t capacity = *dest_len;
  const uint32_t input_length = *source_len;
  *dest_len = 0;
  NIMBUS_ASSERT_RETURN(dest != nullptr || capacity == 0, Z_STREAM_ERROR);
  NIMBUS_ASSERT_RETURN(source != nullptr || input_length == 0, Z_STREAM_ERROR);

  uint32_t header_written = 0;
  if (first_chunk_) {
    const int err = DeflateSetUp(dest, capacity, &header_written);
    if (err != Z_OK) return err;
  }
  // A compress call in the middle of an uncompressed stream has no deflate stream.
  NIMBUS_ASSERT_RETURN(deflate_stream_ != nullptr, Z_STREAM_ERROR);

  uint8_t no_space = 0;  // zlib wants an output pointer even for zero bytes
  z_stream* stream = deflate_stream_.get();
  stream->next_in = const_cast<Bytef*>(source);
  stream->avail_in = input_length;
  stream->next_out = capacity > 0 ? dest + header_written : &no_space;
  stream->avail_out = capacity - header_written;

  int err = deflate(stream, flush_mode);
  if (err != Z_OK && err != Z_STREAM_END && err != Z_BUF_ERROR) {
    EndDeflate();
    Reset();
    return err;
  }
  if (err == Z_STREAM_END && stream->avail_in > 0) return Z_BUF_ERROR;

  const uint32_t consumed = input_length - stream->avail_in;
  uncompressed_size_ += consumed;
  if (gzip_header_mode_) crc_ = UpdateCrc(crc_, source, consumed);
  *source_len = stream->avail_in;
  *dest_len = capacity - stream->avail_out;
  if (err == Z_STREAM_END) {
    // Everything is out; a buffer filled to the last byte holds the complete stream.
    *stream_end = true;
    return Z_OK;
  }
  // Without the end of the stream a full buffer may be holding output back.
  if (stream->avail_out == 0) return Z_BUF_ERROR;
  return err;
}

int ZLib::Compress(uint8_t* dest, uint32_t* dest_len, const uint8_t* source, uint32_t source_len) {
  const uint32_t capacity = *dest_len;
  uint32_t remaining = source_len;
  bool stream_end = false;
  int err = DeflateStep(dest, dest_len, source, &remaining, Z_FINISH, &stream_end);
  if (err == Z_OK && !stream_end) err = Z_BUF_ERROR;
  if (err == Z_BUF_ERROR) EndDeflate();
  Reset();
  if (err != Z_OK) {
    *dest_len = 0;
    return err;
  }
  if (gzip_header_mode_) {
    if (capacity - *dest_len < kGzipTrailerSize) {
      *dest_len = 0;
      return Z_BUF_ERROR;
    }
    StoreLittleEndian32(dest + *dest_len, crc_);
    StoreLittleEndian32(dest + *dest_len + 4, uncompressed_size_);
    *dest_len += kGzipTrailerSize;
  }
  return Z_OK;
}

int ZLib::CompressPartial(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                          uint32_t* source_len) {
  bool stream_end = false;
  return DeflateStep(dest, dest_len, source, source_len, Z_SYNC_FLUSH, &stream_end);
}

int ZLib::CompressPiece(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                        uint32_t* source_len) {
  return CompressFlushed(dest, dest_len, source, source_len, Z_SYNC_FLUSH);
}

int ZLib::CompressFlushed(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                          uint32_t* source_len, int flush_mode) {
  bool stream_end = false;
  const int err = DeflateStep(dest, dest_len, source, source_len, flush_mode, &stream_end);
  if (err == Z_BUF_ERROR) {
    EndDeflate();
    Reset();
  }
  return err;
}

int ZLib::FinishCompressPieces(uint8_t* dest, uint32_t* dest_len) {
  const uint32_t capacity = *dest_len;
  const uint32_t minimum = gzip_header_mode_ ? 10 : 2;
  if (capacity < minimum) {
    *dest_len = 0;
    return Z_BUF_ERROR;
  }
  // Room for the trailer is kept aside, so a finished stream always gets its trailer.
  uint32_t written = gzip_header_mode_ ? capacity - kGzipTrailerSize : capacity;
  uint32_t no_input = 0;
  bool stream_end = false;
  const int err = DeflateStep(dest, &written, nullptr, &no_input, Z_FINISH, &stream_end);
  *dest_len = written;
  if (err != Z_OK) return err;
  // Not finished yet: the caller passes more room and calls again.
  if (!stream_end) return Z_BUF_ERROR;
  if (gzip_header_mode_) {
    StoreLittleEndian32(dest + written, crc_);
    StoreLittleEndian32(dest + written + 4, uncompressed_size_);
    *dest_len += kGzipTrailerSize;
  }
  Reset();
  return Z_OK;
}

// ---------------------------------------------------------------------------------------
// Decompression

int ZLib::InflateSetUp(uint32_t source_len) {
  const int window_bits = no_header_mode_ ? -kInflateWindowBits : kInflateWindowBits;
  if (inflate_stream_ != nullptr) {
    if (inflate_dictionary_ == dictionary_) {
      if (inflateReset2(inflate_stream_.get(), window_bits) != Z_OK) EndInflate();
    } else {
      EndInflate();
    }
  }
  if (inflate_stream_ == nullptr) {
    auto stream = std::make_unique<z_stream>();
    const int err = inflateInit2(stream.get(), window_bits);
    if (err != Z_OK) {
      LogWarning("ZLib: UncompressInit: Error: %d SourceLen: %u", err, source_len);
      Reset();
      return err;
    }
    inflate_stream_ = std::move(stream);
  }
  inflate_no_header_ = no_header_mode_;
  inflate_dictionary_ = dictionary_;
  // Raw streams carry no request for the dictionary: it is installed up front.
  if ((gzip_header_mode_ || no_header_mode_) && dictionary_.data != nullptr) {
    const int err =
        inflateSetDictionary(inflate_stream_.get(), dictionary_.data, dictionary_.length);
    if (err != Z_OK) {
      LogWarning("inflateSetDictionary: Error: %d dict_len: %u", err, dictionary_.length);
      EndInflate();
      Reset();
      return err;
    }
  }
  return Z_OK;
}

int ZLib::UncompressChunkOrAll(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                               uint32_t* source_len, int flush_mode) {
  const uint32_t capacity = *dest_len;
  *dest_len = 0;
  NIMBUS_ASSERT_RETURN(dest != nullptr || capacity == 0, Z_STREAM_ERROR);
  NIMBUS_ASSERT_RETURN(source != nullptr || *source_len == 0, Z_STREAM_ERROR);
  const uint8_t* input = source;
  uint32_t input_length = *source_len;

  if (first_chunk_) {
    trailer_count_ = -1;
    if (gzip_header_mode_) {
      const uint8_t* header_end = nullptr;
      switch (header_parser_.ReadMore(input, input + input_length, &header_end)) {
        case GzipHeaderParser::kIncomplete:
          *source_len = 0;
          return Z_OK;
        case GzipHeaderParser::kInvalid:
          Reset();
          return Z_DATA_ERROR;
        case GzipHeaderParser::kComplete:
          input_length -= static_cast<uint32_t>(header_end - input);
          input = header_end;
          crc_ = InitialCrc();
          break;
      }
    }
  } else if (trailer_count_ >= 0) {
    // The deflate data has ended: what follows can only be the rest of the trailer.
    const uint32_t held = static_cast<uint32_t>(trailer_count_);
    if (input_length > kGzipTrailerSize - held) {
      LogDebug("UncompressChunkOrAll: Received %u extra bytes after gzip footer: %s",
               held + input_length - kGzipTrailerSize, HexBytes(input, input_length, 20).c_str());
      Reset();
      return Z_DATA_ERROR;
    }
    if (input_length > 0) std::memcpy(trailer_ + held, input, input_length);
    trailer_count_ += static_cast<int>(input_length);
    *source_len = 0;
    return Z_OK;
  }

  if (first_chunk_) {
    const int err = InflateSetUp(input_length);
    if (err != Z_OK) return err;
    first_chunk_ = false;
    uncompressed_size_ = 0;
    if (input_length == 0) {
      *source_len = 0;
      return Z_OK;
    }
  }
  // An uncompress call in the middle of a compressed stream has no inflate stream.
  NIMBUS_ASSERT_RETURN(inflate_stream_ != nullptr, Z_STREAM_ERROR);

  uint8_t no_space = 0;  // zlib wants an output pointer even for zero bytes
  z_stream* stream = inflate_stream_.get();
  stream->next_in = const_cast<Bytef*>(input);
  stream->avail_in = input_length;
  stream->next_out = capacity > 0 ? dest : &no_space;
  stream->avail_out = capacity;

  int err = inflate(stream, flush_mode);
  if (err == Z_NEED_DICT && dictionary_.data != nullptr) {
    err = inflateSetDictionary(stream, dictionary_.data, dictionary_.length);
    if (err != Z_OK) {
      LogWarning("UncompressChunkOrAll: failed in inflateSetDictionary :%d ", err);
      EndInflate();
      Reset();
      return err;
    }
    err = inflate(stream, flush_mode);
  }
  if (stream->avail_in > input_length) {
    LogAssert("source + bytes_read <= source + *sourceLen");
    EndInflate();
    Reset();
    return Z_DATA_ERROR;
  }
  const uint32_t produced = capacity - stream->avail_out;
  const uint32_t left = stream->avail_in;
  *source_len = left;

  if (err == Z_STREAM_END) {
    if (left > kGzipTrailerSize) {
      LogDebug("UncompressChunkOrAll: Received some extra data, bytes total: %u bytes: %s", left,
               HexBytes(stream->next_in, left, 20).c_str());
      EndInflate();
      Reset();
      return Z_DATA_ERROR;
    }
    // What is left is (the start of) the trailer.
    if (left > 0) std::memcpy(trailer_, stream->next_in, left);
    trailer_count_ = static_cast<int>(left);
    *source_len = 0;
  } else if (err != Z_OK && err != Z_BUF_ERROR) {
    LogDebug("UncompressChunkOrAll: Error: %d avail_out: %u", err, stream->avail_out);
    EndInflate();
    Reset();
    return err;
  } else if (err == Z_OK && stream->avail_out == 0) {
    err = Z_BUF_ERROR;
  }

  *dest_len = produced;
  if (gzip_header_mode_) crc_ = UpdateCrc(crc_, dest, produced);
  uncompressed_size_ += produced;
  if (err == Z_STREAM_END) return report_stream_end_ ? Z_STREAM_END : Z_OK;
  return err;
}

int ZLib::FinishUncompress() {
  if (first_chunk_ || inflate_stream_ == nullptr) {
    Reset();
    return Z_DATA_ERROR;
  }
  // One more step without input: it succeeds only once the deflate data has ended.
  uint8_t no_space = 0;
  uint32_t no_output = 0;
  uint32_t no_input = 0;
  const int err = UncompressChunkOrAll(&no_space, &no_output, nullptr, &no_input, Z_FINISH);
  if (err != Z_OK && err != Z_STREAM_END) {
    if (err == Z_BUF_ERROR) EndInflate();
    Reset();
    return Z_DATA_ERROR;
  }
  const int trailer_count = trailer_count_;
  Reset();
  if (trailer_count < 0) return Z_DATA_ERROR;
  if (!gzip_header_mode_) {
    // Zlib and raw streams end with their data; nothing may follow.
    return trailer_count == 0 ? Z_OK : Z_DATA_ERROR;
  }
  if (trailer_count != static_cast<int>(kGzipTrailerSize)) return Z_DATA_ERROR;
  if (LoadLittleEndian32(trailer_) != crc_ ||
      LoadLittleEndian32(trailer_ + 4) != uncompressed_size_) {
    return Z_DATA_ERROR;
  }
  return Z_OK;
}

int ZLib::Uncompress(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                     uint32_t source_len) {
  uint32_t remaining = source_len;
  const int err = UncompressChunkOrAll(dest, dest_len, source, &remaining, Z_FINISH);
  if (err == Z_OK || err == Z_STREAM_END) {
    // The end of the stream and its trailer are checked even when the end is reported.
    const int finish = FinishUncompress();
    if (finish != Z_OK) {
      *dest_len = 0;
      return finish;
    }
    return err;
  }
  if (err == Z_BUF_ERROR) EndInflate();
  Reset();
  *dest_len = 0;
  return err;
}

int ZLib::UncompressPartial(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                            uint32_t* source_len) {
  return UncompressChunkOrAll(dest, dest_len, source, source_len, Z_SYNC_FLUSH);
}

int ZLib::UncompressPiece(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                          uint32_t* source_len) {
  return UncompressFlushed(dest, dest_len, source, source_len, Z_SYNC_FLUSH);
}

int ZLib::UncompressFlushed(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                            uint32_t* source_len, int flush_mode) {
  const int err = UncompressChunkOrAll(dest, dest_len, source, source_len, flush_mode);
  if (err == Z_BUF_ERROR) {
    EndInflate();
    Reset();
  }
  return err;
}

bool ZLib::FinishUncompressPieces() { return FinishUncompress() == Z_OK; }

int ZLib::GunzipToNewBuffer(std::unique_ptr<uint8_t[]>* dest, uint32_t* dest_len,
                            const uint8_t* source, uint32_t source_len) {
  if (!gzip_header_mode_) return Z_VERSION_ERROR;
  dest->reset();
  const uint32_t maximum = *dest_len;
  *dest_len = 0;
  const uint32_t claimed = ReadGzipStoredLength(source, source_len);
  if (claimed > maximum) {
    if (!StartsWithGzipHeader(source, source_len)) {
      LogDebug("Attempted to un-gzip data that is not gzipped.");
      return Z_DATA_ERROR;
    }
    LogDebug("Uncompressed size %u exceeds maximum expected size %u", claimed, maximum);
    return Z_MEM_ERROR;
  }
  // Exactly the claimed size: data that inflates to more fails for want of room, and
  // data that inflates to less fails the trailer's length check.
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[std::max<uint32_t>(claimed, 1)]);
  if (buffer == nullptr) return Z_MEM_ERROR;
  uint32_t size = claimed;
  const int err = Uncompress(buffer.get(), &size, source, source_len);
  if (err != Z_OK && err != Z_STREAM_END) return err;
  *dest = std::move(buffer);
  *dest_len = size;
  return err;
}

uint32_t ZLib::ReadGzipStoredLength(const uint8_t* source, uint32_t source_len) {
  if (source == nullptr || source_len <= 4) return 0;
  return LoadLittleEndian32(source + source_len - 4);
}

bool ZLib::StartsWithGzipHeader(const uint8_t* source, uint32_t source_len) {
  if (source == nullptr) return false;
  GzipHeaderParser parser;
  return parser.ReadMore(source, source + source_len, nullptr) == GzipHeaderParser::kComplete;
}

}  // namespace heartbeat
}  // namespace nimbus
