#ifndef TERVALA_APP_HEARTBEAT_GZIP_HEADER_PARSER_H_
#define TERVALA_APP_HEARTBEAT_GZIP_HEADER_PARSER_H_

// An incremental reader of the header of a gzip member: it is fed the input in pieces of
// any size and reports where the deflate data begins.

#include <cstddef>
#include <cstdint>

namespace nimbus {
namespace heartbeat {

// Reads a gzip header byte by byte, keeping its place across calls until Reset.
class GzipHeaderParser {
 public:
  enum Status {
    kIncomplete = 0,  // all input consumed, more header expected
    kComplete = 1,    // the header ends at *header_end
    kInvalid = 2,     // not a gzip header of the deflate method
  };

  GzipHeaderParser() = default;

  // Forgets everything read so far.
  void Reset();

  // Reads header bytes from [begin, end). On kComplete, *header_end (when not null) is set
  // to the first byte after the header. A header of only the ten fixed bytes is complete
  // at the end of the input; optional parts that are announced must be read in full.
  Status ReadMore(const uint8_t* begin, const uint8_t* end, const uint8_t** header_end);

 private:
  enum State {
    kId1,
    kId2,
    kMethod,
    kFlags,
    kFixedRest,  // modification time, extra flags, operating system: six bytes
    kExtraLength1,
    kExtraLength2,
    kExtraData,
    kName,
    kComment,
    kHeaderCrc,
    kDone,
  };

  // The state after the fixed part or an optional part, from the flags still pending.
  State NextOptionalState() const;

  State state_ = kId1;
  uint8_t flags_ = 0;
  size_t remaining_ = 0;  // bytes left in a counted part (fixed rest, extra data, header CRC)
};

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_GZIP_HEADER_PARSER_H_
