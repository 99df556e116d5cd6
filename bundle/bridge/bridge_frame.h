// The frames the bridge bundle exchanges with its socket client, and a reader that cuts them
// out of a byte stream.
//
// A frame: a 32-bit little-endian length of the rest of the frame; a kind byte; a 32-bit
// little-endian id; a 16-bit little-endian channel-name length and the name's UTF-8 bytes;
// the message bytes (the rest of the frame).
#ifndef TERVALA_BUNDLE_BRIDGE_BRIDGE_FRAME_H_
#define TERVALA_BUNDLE_BRIDGE_BRIDGE_FRAME_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tervala_bundle {

// What a frame asks for or carries.
enum class FrameKind : uint8_t {
  kSend = 1,      // client: send the message to native code on the channel
  kReply = 2,     // bridge: native code's reply to a kSend of the same id
  kMessage = 3,   // bridge: native code sent the message on a channel the client listens on
  kResponse = 4,  // client: the answer to the kMessage of the same id
  kListen = 5,    // client: listen on the channel
  kClose = 6,     // client: ask the application to close
  kError = 7,     // bridge: the client's frame of the same id and channel was refused; the
                  // message is the reason (UTF-8)
};

struct BridgeFrame {
  uint8_t kind = 0;
  uint32_t id = 0;
  std::string channel;
  std::vector<uint8_t> message;

  friend bool operator==(const BridgeFrame&, const BridgeFrame&) = default;
};

// The size of a frame without its channel name and message.
inline constexpr size_t kFrameHeaderSize = 4 + 1 + 4 + 2;
// The largest frame the bridge reads (the length field's value): larger ones are refused
// rather than buffered.
inline constexpr uint32_t kMaxFrameLength = 64u << 20;

// The bytes of a frame. A channel name longer than 65535 bytes cannot be framed: the result
// is then empty.
std::vector<uint8_t> EncodeFrame(const BridgeFrame& frame);

// Cuts frames out of the bytes a connection delivers, in whatever pieces they come.
class FrameReader {
 public:
  enum class Status {
    kFrame,      // a frame was read
    kNeedMore,   // the bytes so far end inside a frame
    kMalformed,  // the stream cannot be read further; `error` says why
  };

  void Append(const uint8_t* data, size_t size);

  // Takes the next complete frame. After kMalformed the reader stays malformed.
  Status Next(BridgeFrame* frame, std::string* error);

 private:
  std::vector<uint8_t> buffer_;
  size_t start_ = 0;  // the first unread byte of buffer_
  bool malformed_ = false;
  std::string error_;
};

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_BRIDGE_BRIDGE_FRAME_H_
