#ifndef TERVALA_APP_HEARTBEAT_ZLIB_H_
#define TERVALA_APP_HEARTBEAT_ZLIB_H_

// ZLib: a stateful compressor and decompressor over the zlib library for zlib streams, raw
// deflate streams, or single-member gzip files whose header and trailer it writes and
// checks itself.

#include <cstdint>
#include <memory>

#include "app/heartbeat/gzip_header_parser.h"

struct z_stream_s;

namespace nimbus {
namespace heartbeat {

// Compresses and uncompresses one stream at a time. Results are zlib's codes (Z_OK 0,
// Z_STREAM_END 1, Z_NEED_DICT 2, Z_DATA_ERROR -3, Z_MEM_ERROR -4, Z_BUF_ERROR -5,
// Z_VERSION_ERROR -6). The one-shot calls and every failure end the current stream, so
// one object can handle many independent inputs in turn; the underlying zlib streams are
// kept and reused while the settings stay the same. Not thread-safe.
class ZLib {
 public:
  ZLib();
  ~ZLib();
  ZLib(const ZLib&) = delete;
  ZLib& operator=(const ZLib&) = delete;

  // --- Settings ---

  // Back to the defaults: zlib framing, default level, window bits 15, memory level 8, no
  // dictionary, stream end hidden.
  void ResetSettings();
  // Single-member gzip files: raw deflate data between a gzip header and trailer.
  void UseGzipFraming();
  // Raw deflate data without any framing (true) or zlib framing (false).
  void UseRawFraming(bool raw);
  // A preset dictionary for both directions. It must outlive its use, and it requires
  // zlib framing: setting one in raw or gzip mode is a programming error.
  void SetDictionary(const uint8_t* dictionary, uint32_t length);
  // Compression level 0-9, or -1 for zlib's default.
  void SetCompressionLevel(int level);
  // Makes the uncompress calls report the end of the stream as Z_STREAM_END, not Z_OK.
  void ReportStreamEnd(bool report = true);

  // --- One-shot operations ---

  // Compresses the whole input. *dest_len is the capacity on entry and the bytes written
  // on return; the buffer must be larger than the data it receives.
  int Compress(uint8_t* dest, uint32_t* dest_len, const uint8_t* source, uint32_t source_len);
  // Uncompresses one complete stream (and checks the gzip trailer in gzip mode). *dest_len
  // is the capacity on entry and the bytes written on return.
  int Uncompress(uint8_t* dest, uint32_t* dest_len, const uint8_t* source, uint32_t source_len);
  // Gzip mode only (else Z_VERSION_ERROR): uncompresses into a new buffer of exactly the
  // size stored in the trailer, provided it is at most *dest_len (else Z_MEM_ERROR, or
  // Z_DATA_ERROR when the input is not gzip data at all). On success *dest holds the data
  // and *dest_len its size; on failure *dest is empty. A trailer that understates the
  // size cannot make it write beyond the buffer: such input fails.
  int GunzipToNewBuffer(std::unique_ptr<uint8_t[]>* dest, uint32_t* dest_len, const uint8_t* source,
                        uint32_t source_len);
  // The uncompressed length stored in a gzip trailer (the last four bytes, little-endian);
  // 0 for inputs of four bytes or fewer. It is only a claim of the input.
  static uint32_t ReadGzipStoredLength(const uint8_t* source, uint32_t source_len);
  // True when the input begins with a complete, valid gzip header.
  static bool StartsWithGzipHeader(const uint8_t* source, uint32_t source_len);

  // --- Chunked operations ---
  // For these, *source_len is the input length on entry and the unconsumed rest on return.

  // Compresses a piece with Z_SYNC_FLUSH; the first piece of a stream writes the gzip
  // header in gzip mode.
  int CompressPartial(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                      uint32_t* source_len);
  // As CompressPartial, but Z_BUF_ERROR also ends the stream.
  int CompressPiece(uint8_t* dest, uint32_t* dest_len, const uint8_t* source, uint32_t* source_len);
  // As CompressPiece with a caller-given zlib flush mode.
  int CompressFlushed(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                      uint32_t* source_len, int flush_mode);
  // Finishes the stream and, in gzip mode, appends the trailer.
  int FinishCompressPieces(uint8_t* dest, uint32_t* dest_len);

  // Uncompresses a piece with Z_SYNC_FLUSH. In gzip mode the header may arrive in pieces,
  // and the trailer is collected after the end of the deflate data.
  int UncompressPartial(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                        uint32_t* source_len);
  // As UncompressPartial, but Z_BUF_ERROR also ends the stream.
  int UncompressPiece(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                      uint32_t* source_len);
  // As UncompressPiece with a caller-given zlib flush mode.
  int UncompressFlushed(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                        uint32_t* source_len, int flush_mode);
  // After the last piece: true when the stream ended and its trailer (gzip mode) matches
  // the data. Ends the stream either way.
  bool FinishUncompressPieces();

 private:
  struct Dictionary {
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    bool operator==(const Dictionary&) const = default;
  };
  // The settings a deflate stream was created with.
  struct DeflateSettings {
    Dictionary dictionary;
    int level = -1;
    int window_bits = 15;
    int memory_level = 8;
    bool no_header = false;
  };

  // Starts a new stream on the next call: first-chunk flag, header parser and trailer.
  void Reset();
  void EndDeflate();
  void EndInflate();
  // Resets (or ends) the open streams for a change of framing.
  void ChangeFraming(bool no_header);

  int DeflateStep(uint8_t* dest, uint32_t* dest_len, const uint8_t* source, uint32_t* source_len,
                  int flush_mode, bool* stream_end);
  int DeflateSetUp(uint8_t* dest, uint32_t dest_capacity, uint32_t* header_written);
  int UncompressChunkOrAll(uint8_t* dest, uint32_t* dest_len, const uint8_t* source,
                           uint32_t* source_len, int flush_mode);
  int InflateSetUp(uint32_t source_len);
  // The end-of-input check shared by Uncompress and FinishUncompressPieces. Returns Z_OK
  // when the stream ended and the trailer matches.
  int FinishUncompress();

  // Settings.
  Dictionary dictionary_;
  int level_ = -1;
  int window_bits_ = 15;
  int memory_level_ = 8;
  bool no_header_mode_ = false;
  bool gzip_header_mode_ = false;
  bool report_stream_end_ = false;

  // Streams.
  std::unique_ptr<z_stream_s> deflate_stream_;  // set while a deflate stream is open
  DeflateSettings deflate_settings_;
  std::unique_ptr<z_stream_s> inflate_stream_;  // set while an inflate stream is open
  bool inflate_no_header_ = false;
  Dictionary inflate_dictionary_;

  // Per-stream state.
  uint32_t crc_ = 0;
  uint32_t uncompressed_size_ = 0;
  GzipHeaderParser header_parser_;
  uint8_t trailer_[8] = {};
  int trailer_count_ = -1;  // -1 until the end of the deflate data
  bool first_chunk_ = true;
};

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_ZLIB_H_
