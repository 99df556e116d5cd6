#include "app/heartbeat/gzip_header_parser.h"

#include <algorithm>
#include <cstring>

namespace nimbus {
namespace heartbeat {
namespace {

constexpr uint8_t kMagic1 = 0x1F;
constexpr uint8_t kMagic2 = 0x8B;
constexpr uint8_t kMethodDeflate = 8;

// Header flags that announce optional parts. FTEXT (1) and the reserved bits carry no
// data and are ignored.
constexpr uint8_t kFlagHeaderCrc = 2;
constexpr uint8_t kFlagExtra = 4;
constexpr uint8_t kFlagName = 8;
constexpr uint8_t kFlagComment = 16;
constexpr uint8_t kKnownFlags = kFlagHeaderCrc | kFlagExtra | kFlagName | kFlagComment;

}  // namespace

void GzipHeaderParser::Reset() {
  state_ = kId1;
  flags_ = 0;
  remaining_ = 0;
}

GzipHeaderParser::State GzipHeaderParser::NextOptionalState() const {
  if (flags_ & kFlagExtra) return kExtraLength1;
  if (flags_ & kFlagName) return kName;
  if (flags_ & kFlagComment) return kComment;
  if (flags_ & kFlagHeaderCrc) return kHeaderCrc;
  return kDone;
}

GzipHeaderParser::Status GzipHeaderParser::ReadMore(const uint8_t* begin, const uint8_t* end,
                                                    const uint8_t** header_end) {
  const uint8_t* p = begin;
  while (state_ != kDone) {
    if (p >= end) return kIncomplete;
    switch (state_) {
      case kId1:
        if (*p++ != kMagic1) return kInvalid;
        state_ = kId2;
        break;
      case kId2:
        if (*p++ != kMagic2) return kInvalid;
        state_ = kMethod;
        break;
      case kMethod:
        if (*p++ != kMethodDeflate) return kInvalid;
        state_ = kFlags;
        break;
      case kFlags:
        flags_ = *p++ & kKnownFlags;
        state_ = kFixedRest;
        remaining_ = 6;
        break;
      case kFixedRest: {
        const size_t take = std::min(remaining_, static_cast<size_t>(end - p));
        p += take;
        remaining_ -= take;
        if (remaining_ == 0) state_ = NextOptionalState();
        break;
      }
      case kExtraLength1:
        remaining_ = *p++;
        state_ = kExtraLength2;
        break;
      case kExtraLength2:
        remaining_ |= static_cast<size_t>(*p++) << 8;
        state_ = kExtraData;
        if (remaining_ == 0) {
          // An empty extra field: the header may end right here.
          flags_ &= static_cast<uint8_t>(~kFlagExtra);
          state_ = NextOptionalState();
        }
        break;
      case kExtraData: {
        const size_t take = std::min(remaining_, static_cast<size_t>(end - p));
        p += take;
        remaining_ -= take;
        if (remaining_ == 0) {
          flags_ &= static_cast<uint8_t>(~kFlagExtra);
          state_ = NextOptionalState();
        }
        break;
      }
      case kName:
      case kComment: {
        const auto* zero = static_cast<const uint8_t*>(std::memchr(p, 0, end - p));
        if (zero == nullptr) {
          p = end;
          break;
        }
        p = zero + 1;
        flags_ &= static_cast<uint8_t>(~(state_ == kName ? kFlagName : kFlagComment));
        state_ = NextOptionalState();
        break;
      }
      case kHeaderCrc: {
        // Entered with nothing counted yet; the CRC-16 of the header is two bytes.
        if (remaining_ == 0) remaining_ = 2;
        const size_t take = std::min(remaining_, static_cast<size_t>(end - p));
        p += take;
        remaining_ -= take;
        if (remaining_ == 0) {
          flags_ &= static_cast<uint8_t>(~kFlagHeaderCrc);
          state_ = kDone;
        }
        break;
      }
      case kDone:
        break;
    }
  }
  if (header_end != nullptr) *header_end = p;
  return kComplete;
}

}  // namespace heartbeat
}  // namespace nimbus
