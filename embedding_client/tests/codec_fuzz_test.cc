// Decodes a few hundred thousand random and mutated messages: none may crash, trip a
// sanitizer, allocate beyond what the message could hold, or decode to a value that does
// not encode back to a decodable message.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_message_codec.h"
#include "embedding_client/tests/allocation_tracker.h"
#include "platform/test_support/scratch_folder.h"

namespace vela {
namespace {

using Bytes = std::vector<uint8_t>;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kMessageCount = 200000;
#else
constexpr int kMessageCount = 400000;
#endif

// Silences standard error (the codec's diagnostic lines) for the life of the object.
class SilencedStderr {
 public:
  SilencedStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    // Into a file of a scratch folder: no null device has the same name everywhere.
    if (FILE* sink = std::fopen(folder_.Join("stderr").c_str(), "w")) {
      dup2(fileno(sink), STDERR_FILENO);
      std::fclose(sink);
    }
  }
  ~SilencedStderr() {
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }

 private:
  tervala_testing::ScratchFolder folder_{"codec-fuzz"};
  int saved_;
};

class ValueGenerator {
 public:
  explicit ValueGenerator(uint32_t seed) : random_(seed) {}

  EncodableValue Value(int depth) {
    switch (Below(depth > 0 ? 14 : 10)) {
      case 0:
        return EncodableValue();
      case 1:
        return EncodableValue(Below(2) == 0);
      case 2:
        return EncodableValue(static_cast<int32_t>(random_()));
      case 3:
        return EncodableValue(static_cast<int64_t>(Wide()));
      case 4:
        return EncodableValue(Double());
      case 5:
        return EncodableValue(std::string(Size(), 'a' + static_cast<char>(Below(26))));
      case 6:
        return EncodableValue(Typed<uint8_t>());
      case 7:
        return EncodableValue(Typed<int32_t>());
      case 8:
        return EncodableValue(Typed<int64_t>());
      case 9:
        return EncodableValue(Typed<float>());
      case 10:
        return EncodableValue(Typed<double>());
      case 11:
      case 12: {
        EncodableList list;
        for (size_t i = Size() % 6; i > 0; --i) list.push_back(Value(depth - 1));
        return EncodableValue(std::move(list));
      }
      default: {
        EncodableMap map;
        for (size_t i = Size() % 5; i > 0; --i) map.emplace(Value(depth - 1), Value(depth - 1));
        return EncodableValue(std::move(map));
      }
    }
  }

  uint32_t Below(uint32_t bound) { return random_() % bound; }

 private:
  uint64_t Wide() { return (static_cast<uint64_t>(random_()) << 32) | random_(); }
  double Double() {
    uint64_t bits = Wide();
    double value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
  }
  // Mostly small sizes, now and then one across the one-byte size boundary.
  size_t Size() { return Below(16) == 0 ? 250 + Below(10) : Below(12); }
  template <typename T>
  std::vector<T> Typed() {
    std::vector<T> list(Size());
    for (T& element : list) {
      uint64_t bits = Wide();
      std::memcpy(&element, &bits, sizeof(T));
    }
    return list;
  }

  std::mt19937 random_;
};

// One random damage to a valid message: overwrite, insert, delete or truncate.
void Mutate(Bytes* message, ValueGenerator* random) {
  static constexpr uint8_t kInteresting[] = {0,  1,  5,  6,   7,   9,   11, 12,
                                             13, 14, 15, 129, 253, 254, 255};
  const size_t at = message->empty() ? 0 : random->Below(static_cast<uint32_t>(message->size()));
  switch (random->Below(5)) {
    case 0:
      if (!message->empty()) (*message)[at] = static_cast<uint8_t>(random->Below(256));
      break;
    case 1:
      if (!message->empty()) (*message)[at] = kInteresting[random->Below(sizeof(kInteresting))];
      break;
    case 2:
      message->insert(message->begin() + at, kInteresting[random->Below(sizeof(kInteresting))]);
      break;
    case 3:
      if (!message->empty()) message->erase(message->begin() + at);
      break;
    default:
      message->resize(at);
      break;
  }
}

TEST(CodecFuzzTest, RandomAndMutatedMessagesNeverCrash) {
  const StandardMessageCodec& codec = StandardMessageCodec::GetInstance();
  ValueGenerator random(20240601);

  // A pool of valid messages, each checked to round-trip to the same bytes.
  std::vector<Bytes> pool;
  for (int i = 0; i < 500; ++i) {
    Bytes encoded = *codec.EncodeMessage(random.Value(4));
    auto decoded = codec.DecodeMessage(encoded);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(*codec.EncodeMessage(*decoded), encoded);
    pool.push_back(std::move(encoded));
  }

  SilencedStderr silenced;
  size_t decoded_count = 0;
  size_t largest_message = 0;
  testing_support::ResetLargestAllocation();
  for (int i = 0; i < kMessageCount; ++i) {
    Bytes message;
    if (i % 8 == 0) {
      message.resize(random.Below(64));
      for (uint8_t& byte : message) byte = static_cast<uint8_t>(random.Below(256));
    } else {
      message = pool[random.Below(static_cast<uint32_t>(pool.size()))];
      for (uint32_t n = 1 + random.Below(3); n > 0; --n) Mutate(&message, &random);
    }
    largest_message = std::max(largest_message, message.size());
    auto decoded = codec.DecodeMessage(message.data(), message.size());
    if (!decoded) continue;
    ++decoded_count;
    // Whatever decodes must encode again into a message that decodes.
    Bytes again = *codec.EncodeMessage(*decoded);
    ASSERT_TRUE(codec.DecodeMessage(again)) << i;
  }
  // Many damaged messages still decode; both paths are exercised.
  EXPECT_GT(decoded_count, static_cast<size_t>(kMessageCount) / 20);
  EXPECT_LT(decoded_count, static_cast<size_t>(kMessageCount));
  // No allocation out of proportion to the input, whatever sizes the bytes claimed.
  EXPECT_LT(testing_support::LargestAllocation(), 64 * largest_message + 65536);
}

}  // namespace
}  // namespace vela
