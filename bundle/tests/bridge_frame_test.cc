#include "bundle/bridge/bridge_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tervala_bundle {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int value : values) bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

TEST(BridgeFrameTest, EncodesLengthKindIdChannelAndMessageLittleEndian) {
  const BridgeFrame frame{1, 0x04030201, "ab", {9, 8, 7}};
  EXPECT_EQ(EncodeFrame(frame), Bytes({12, 0, 0, 0, 1, 1, 2, 3, 4, 2, 0, 'a', 'b', 9, 8, 7}));
  // A name that the 16-bit length cannot carry makes no frame at all.
  EXPECT_TRUE(EncodeFrame({1, 1, std::string(65536, 'c'), {}}).empty());
}

TEST(BridgeFrameTest, ReadsFramesWhateverPiecesTheyArriveIn) {
  const std::vector<BridgeFrame> frames = {
      {1, 7, "dev.vela.channel", {0, 1, 2}},
      {5, 0, "listen/here", {}},
      {6, 42, "", {}},
  };
  std::vector<uint8_t> stream;
  for (const BridgeFrame& frame : frames) {
    const std::vector<uint8_t> bytes = EncodeFrame(frame);
    stream.insert(stream.end(), bytes.begin(), bytes.end());
  }
  for (size_t piece : {size_t{1}, size_t{5}, stream.size()}) {
    FrameReader reader;
    std::vector<BridgeFrame> read;
    for (size_t at = 0; at < stream.size(); at += piece) {
      reader.Append(stream.data() + at, std::min(piece, stream.size() - at));
      BridgeFrame frame;
      while (reader.Next(&frame, nullptr) == FrameReader::Status::kFrame) read.push_back(frame);
    }
    EXPECT_EQ(read, frames) << "in pieces of " << piece;
    BridgeFrame frame;
    EXPECT_EQ(reader.Next(&frame, nullptr), FrameReader::Status::kNeedMore);
  }
}

TEST(BridgeFrameTest, RefusesFramesThatCannotBeRead) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::string error;
  };
  const Case cases[] = {
      // Shorter than kind, id and name length.
      {Bytes({6, 0, 0, 0, 1, 0, 0, 0, 0, 0}), "shorter than its header"},
      // A name running past the frame's end.
      {Bytes({8, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, 'a'}), "does not fit"},
      // Larger than the bridge buffers.
      {Bytes({1, 0, 0, 5}), "larger than the limit"},
  };
  for (const Case& c : cases) {
    FrameReader reader;
    reader.Append(c.bytes.data(), c.bytes.size());
    BridgeFrame frame;
    std::string error;
    EXPECT_EQ(reader.Next(&frame, &error), FrameReader::Status::kMalformed);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    // The stream stays unreadable, even when good frames follow.
    const std::vector<uint8_t> good = EncodeFrame({6, 1, "", {}});
    reader.Append(good.data(), good.size());
    EXPECT_EQ(reader.Next(&frame, nullptr), FrameReader::Status::kMalformed);
  }
}

}  // namespace
}  // namespace tervala_bundle
