// The bundles' C codec against native code's C++ codec: the same bytes for the same values,
// the same values from the same bytes, the reply envelope both ways, and bytes that do not
// decode (truncated, hostile, mutated) failing cleanly in both.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bundle/codec/tervala_codec.h"
#include "embedding_client/encodable_value.h"
#include "embedding_client/standard_message_codec.h"

namespace {

using vela::EncodableList;
using vela::EncodableMap;
using vela::EncodableValue;
using Bytes = std::vector<uint8_t>;

Bytes CppEncode(const EncodableValue& value) {
  return *vela::StandardMessageCodec::GetInstance().EncodeMessage(value);
}

std::unique_ptr<EncodableValue> CppDecode(const Bytes& bytes) {
  return vela::StandardMessageCodec::GetInstance().DecodeMessage(bytes.data(), bytes.size());
}

// Writes `value` with the C writer.
void CWrite(const EncodableValue& value, TervalaWriter* w) {
  struct Visitor {
    TervalaWriter* w;
    void operator()(std::monostate) const { tervala_write_null(w); }
    void operator()(bool b) const { tervala_write_bool(w, b); }
    void operator()(int32_t i) const { tervala_write_int32(w, i); }
    void operator()(int64_t i) const { tervala_write_int64(w, i); }
    void operator()(double d) const { tervala_write_double(w, d); }
    void operator()(const std::string& s) const { tervala_write_string(w, s.data(), s.size()); }
    void operator()(const Bytes& v) const { tervala_write_bytes(w, v.data(), v.size()); }
    void operator()(const std::vector<int32_t>& v) const {
      tervala_write_int32_list(w, v.data(), v.size());
    }
    void operator()(const std::vector<int64_t>& v) const {
      tervala_write_int64_list(w, v.data(), v.size());
    }
    void operator()(const std::vector<double>& v) const {
      tervala_write_double_list(w, v.data(), v.size());
    }
    void operator()(const std::vector<float>& v) const {
      tervala_write_float_list(w, v.data(), v.size());
    }
    void operator()(const EncodableList& list) const {
      tervala_write_list(w, list.size());
      for (const EncodableValue& element : list) CWrite(element, w);
    }
    void operator()(const EncodableMap& map) const {
      tervala_write_map(w, map.size());
      for (const auto& [key, element] : map) {
        CWrite(key, w);
        CWrite(element, w);
      }
    }
    void operator()(const vela::CustomEncodableValue&) const { ADD_FAILURE() << "custom value"; }
  };
  std::visit(Visitor{w}, value.variant());
}

Bytes CEncode(const EncodableValue& value) {
  TervalaWriter w;
  tervala_writer_init(&w);
  CWrite(value, &w);
  EXPECT_FALSE(w.failed);
  Bytes bytes(w.data, w.data + w.size);
  tervala_writer_free(&w);
  return bytes;
}

template <typename T, typename At>
std::vector<T> TypedList(const TervalaValue& head, At at) {
  std::vector<T> list;
  for (size_t i = 0; i < head.count; ++i) list.push_back(at(&head, i));
  return list;
}

// Reads one value with the C reader; nullopt when it fails.
std::optional<EncodableValue> CRead(TervalaReader* r) {
  TervalaValue head;
  if (!tervala_read_value(r, &head)) return std::nullopt;
  switch (head.type) {
    case TERVALA_NULL:
      return EncodableValue();
    case TERVALA_TRUE:
    case TERVALA_FALSE:
      return EncodableValue(head.boolean);
    case TERVALA_INT32:
      return EncodableValue(static_cast<int32_t>(head.integer));
    case TERVALA_INT64:
      return EncodableValue(head.integer);
    case TERVALA_DOUBLE:
      return EncodableValue(head.number);
    case TERVALA_STRING:
      return EncodableValue(std::string(reinterpret_cast<const char*>(head.data), head.count));
    case TERVALA_BYTES:
      return EncodableValue(Bytes(head.data, head.data + head.count));
    case TERVALA_INT32_LIST:
      return EncodableValue(TypedList<int32_t>(head, tervala_int32_at));
    case TERVALA_INT64_LIST:
      return EncodableValue(TypedList<int64_t>(head, tervala_int64_at));
    case TERVALA_DOUBLE_LIST:
      return EncodableValue(TypedList<double>(head, tervala_double_at));
    case TERVALA_FLOAT_LIST:
      return EncodableValue(TypedList<float>(head, tervala_float_at));
    case TERVALA_LIST: {
      EncodableList list;
      for (size_t i = 0; i < head.count; ++i) {
        std::optional<EncodableValue> element = CRead(r);
        if (!element) return std::nullopt;
        list.push_back(std::move(*element));
      }
      return EncodableValue(std::move(list));
    }
    case TERVALA_MAP: {
      EncodableMap map;
      for (size_t i = 0; i < head.count; ++i) {
        std::optional<EncodableValue> key = CRead(r);
        std::optional<EncodableValue> element = key ? CRead(r) : std::nullopt;
        if (!element) return std::nullopt;
        map.emplace(std::move(*key), std::move(*element));  // the first value of a key stays
      }
      return EncodableValue(std::move(map));
    }
  }
  ADD_FAILURE() << "type " << head.type;
  return std::nullopt;
}

// The bytes copied to the end of a heap block, so that ASan sees any read past the end,
// and to an odd address, so that alignment must be counted from the message start and
// elements be read without aligned loads.
class ExactCopy {
 public:
  ExactCopy(const uint8_t* data, size_t size) : block_(std::make_unique<uint8_t[]>(size + 1)) {
    if (size != 0) std::memcpy(block_.get() + 1, data, size);
  }
  const uint8_t* get() const { return block_.get() + 1; }

 private:
  std::unique_ptr<uint8_t[]> block_;
};

// Whether the C reader skips a value at the start of `bytes`, which ends right after it.
bool CSkips(const Bytes& bytes) {
  const ExactCopy copy(bytes.data(), bytes.size());
  TervalaReader r;
  tervala_reader_init(&r, copy.get(), bytes.size());
  const bool skipped = tervala_skip_value(&r);
  EXPECT_EQ(skipped, !r.failed);
  if (skipped) {
    EXPECT_EQ(r.position, bytes.size());
  }
  return skipped;
}

std::string Text(size_t size) {
  std::string text(size, ' ');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
  return text;
}

EncodableValue Nested() {
  return EncodableList{
      int32_t{1},
      "ab",
      std::vector<double>{2.5},
      EncodableList{std::vector<int32_t>{7, -7}, 3.0,
                    EncodableMap{{"k", std::vector<float>{1.0f}},
                                 {int32_t{2}, EncodableValue()},
                                 {std::vector<int64_t>{9}, EncodableMap{}}}},
      std::vector<int64_t>{},
      std::vector<float>{},
      EncodableList{},
      Bytes{1, 2, 3},
  };
}

std::vector<EncodableValue> Table() {
  EncodableMap wide;
  for (int32_t i = 0; i < 254; ++i) wide.emplace(i, Text(static_cast<size_t>(i % 5)));
  return {
      EncodableValue(),
      true,
      false,
      int32_t{0},
      std::numeric_limits<int32_t>::min(),
      std::numeric_limits<int32_t>::max(),
      std::numeric_limits<int64_t>::min(),
      int64_t{1} << 40,
      3.25,
      -0.0,
      std::numeric_limits<double>::infinity(),
      "",
      "h\xc3\xa9llo",
      Text(253),
      Text(254),
      Text(65535),
      Text(65536),
      Bytes{},
      Bytes(254, 0xAB),
      std::vector<int32_t>{},
      std::vector<int32_t>{1, -2, std::numeric_limits<int32_t>::max()},
      std::vector<int32_t>(65536, -3),
      std::vector<int64_t>{},
      std::vector<int64_t>{std::numeric_limits<int64_t>::min(), 5},
      std::vector<double>{},
      std::vector<double>{1.5, -2.0, 1e300},
      std::vector<float>{},
      std::vector<float>{0.5f, -1e30f},
      EncodableList{},
      EncodableList(253, EncodableValue(true)),
      EncodableList(65536, EncodableValue(int32_t{4})),
      EncodableMap{},
      wide,
      Nested(),
  };
}

TEST(BundleCodec, WritesAndReadsWhatTheCppCodecDoes) {
  const std::vector<EncodableValue> table = Table();
  for (size_t i = 0; i < table.size(); ++i) {
    // Each value of a few bytes also after a string of 0 to 7 bytes, so that it starts at
    // every offset modulo 8 and its alignment is counted from the message start.
    const int offsets = CppEncode(table[i]).size() < 1000 ? 8 : 0;
    for (int offset = -1; offset < offsets; ++offset) {
      SCOPED_TRACE("value " + std::to_string(i) + " after " + std::to_string(offset));
      const EncodableValue value =
          offset < 0 ? table[i] : EncodableList{Text(static_cast<size_t>(offset)), table[i]};
      const Bytes cpp = CppEncode(value);
      const Bytes c = CEncode(value);
      ASSERT_EQ(c, cpp);
      std::unique_ptr<EncodableValue> decoded = CppDecode(c);
      ASSERT_NE(decoded, nullptr);
      EXPECT_EQ(*decoded, value);

      const ExactCopy copy(cpp.data(), cpp.size());
      TervalaReader r;
      tervala_reader_init(&r, copy.get(), cpp.size());
      std::optional<EncodableValue> read = CRead(&r);
      ASSERT_TRUE(read.has_value());
      EXPECT_EQ(*read, value);
      EXPECT_EQ(r.position, cpp.size());
      EXPECT_TRUE(CSkips(cpp));
    }
  }
}

TEST(BundleCodec, ReplyEnvelopeBothWays) {
  TervalaWriter w;
  tervala_writer_init(&w);
  ASSERT_TRUE(tervala_write_success(&w) && tervala_write_cstring(&w, "granted"));
  EXPECT_EQ(*CppDecode(Bytes(w.data, w.data + w.size)), EncodableValue(EncodableList{"granted"}));
  tervala_writer_free(&w);
  ASSERT_TRUE(tervala_write_error(&w, "unknown-permission", "No such permission: x"));
  EXPECT_EQ(*CppDecode(Bytes(w.data, w.data + w.size)),
            EncodableValue(
                EncodableList{"unknown-permission", "No such permission: x", EncodableValue()}));
  tervala_writer_free(&w);

  TervalaReader r;
  TervalaReply reply;
  const Bytes success = CppEncode(EncodableList{int64_t{1} << 33});
  ASSERT_EQ(tervala_read_reply(&r, success.data(), success.size(), &reply), TERVALA_REPLY_SUCCESS);
  int64_t number = 0;
  EXPECT_TRUE(tervala_read_int(&r, &number));
  EXPECT_EQ(number, int64_t{1} << 33);

  const Bytes error = CppEncode(EncodableList{"launch-failed", "", EncodableMap{{"a", 1}}});
  ASSERT_EQ(tervala_read_reply(&r, error.data(), error.size(), &reply), TERVALA_REPLY_ERROR);
  EXPECT_EQ(std::string(reply.code, reply.code_length), "launch-failed");
  EXPECT_EQ(reply.message_length, 0u);
  TervalaValue details;
  ASSERT_TRUE(tervala_read_value(&r, &details));
  EXPECT_EQ(details.type, TERVALA_MAP);
  EXPECT_EQ(details.count, 1u);

  EXPECT_EQ(tervala_read_reply(&r, nullptr, 0, &reply), TERVALA_REPLY_EMPTY);
  EXPECT_EQ(tervala_read_reply(&r, success.data(), 0, &reply), TERVALA_REPLY_EMPTY);
  EXPECT_EQ(tervala_read_reply(&r, nullptr, 5, &reply), TERVALA_REPLY_MALFORMED);
  const std::vector<Bytes> malformed = {
      CppEncode("granted"),
      CppEncode(EncodableList{}),
      CppEncode(EncodableList{1, 2}),
      CppEncode(EncodableList{1, "message", EncodableValue()}),
      CppEncode(EncodableList{"code", 2, EncodableValue()}),
      CppEncode(EncodableList{"code", "message", EncodableValue(), EncodableValue()}),
      {12, 1},                 // the value is missing
      {12, 3, 7, 0, 7, 0, 6},  // the details end early
      {12, 1, 15},             // a tag this codec does not know
  };
  for (const Bytes& bytes : malformed) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    EXPECT_EQ(tervala_read_reply(&r, bytes.data(), bytes.size(), &reply), TERVALA_REPLY_MALFORMED);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(reply.code, nullptr);
  }
}

TEST(BundleCodec, TruncatedMessagesFailCleanly) {
  const std::vector<Bytes> messages = {
      CppEncode(Nested()),
      CppEncode(EncodableList{"code", "message", EncodableMap{{"k", std::vector<double>{1, 2}}}}),
      CppEncode(EncodableList{"abc", std::vector<int64_t>{1, 2}, 0.5}),
      CppEncode(Text(300)),
      CppEncode(std::vector<float>(300, 1.0f)),
  };
  ::testing::internal::CaptureStderr();  // the C++ codec's diagnostics
  for (const Bytes& message : messages) {
    for (size_t size = 0; size < message.size(); ++size) {
      SCOPED_TRACE("size " + std::to_string(size) + " of " + std::to_string(message.size()));
      const Bytes prefix(message.begin(), message.begin() + static_cast<ptrdiff_t>(size));
      const ExactCopy copy(prefix.data(), size);
      TervalaReader r;
      tervala_reader_init(&r, copy.get(), size);
      ASSERT_FALSE(tervala_skip_value(&r));
      TervalaValue value;
      EXPECT_FALSE(tervala_read_value(&r, &value));  // failed for good
      TervalaReply reply;
      const TervalaReplyKind kind = tervala_read_reply(&r, copy.get(), size, &reply);
      EXPECT_EQ(kind, size == 0 ? TERVALA_REPLY_EMPTY : TERVALA_REPLY_MALFORMED);
      if (size != 0) {
        EXPECT_EQ(CppDecode(prefix), nullptr);
      }
    }
  }
  ::testing::internal::GetCapturedStderr();
}

TEST(BundleCodec, HostileInputAndInvalidArgumentsFail) {
  // Nesting: 256 levels decode in both codecs, 257 in neither, and 100000 fail without
  // exhausting the stack.
  const auto nested = [](size_t levels) {
    Bytes bytes;
    for (size_t i = 0; i < levels; ++i) bytes.insert(bytes.end(), {12, 1});
    bytes.push_back(0);
    return bytes;
  };
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(CSkips(nested(TERVALA_MAX_DEPTH)));
  EXPECT_NE(CppDecode(nested(TERVALA_MAX_DEPTH)), nullptr);
  EXPECT_FALSE(CSkips(nested(TERVALA_MAX_DEPTH + 1)));
  EXPECT_EQ(CppDecode(nested(TERVALA_MAX_DEPTH + 1)), nullptr);
  EXPECT_FALSE(CSkips(nested(100000)));
  // Counts beyond what the bytes left could hold.
  for (const Bytes& bytes : std::vector<Bytes>{{12, 255, 255, 255, 255, 255, 0},
                                               {13, 2, 0, 0},
                                               {9, 255, 255, 255, 255, 63, 0, 0},
                                               {11, 2, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8},
                                               {7, 254, 0, 1, 'a'}}) {
    SCOPED_TRACE(::testing::PrintToString(bytes));
    TervalaReader r;
    tervala_reader_init(&r, bytes.data(), bytes.size());
    TervalaValue head;
    EXPECT_FALSE(tervala_read_value(&r, &head));  // a caller may size a buffer by the count
    EXPECT_FALSE(CSkips(bytes));
    EXPECT_EQ(CppDecode(bytes), nullptr);
  }
  ::testing::internal::GetCapturedStderr();
  // Unknown tags fail (the C++ codec reads them as null); tag 5 is a string.
  EXPECT_FALSE(CSkips({15}));
  const uint8_t old_string[] = {5, 2, 'a', 'b'};
  TervalaReader r;
  tervala_reader_init(&r, old_string, sizeof old_string);
  const char* text = nullptr;
  size_t length = 0;
  ASSERT_TRUE(tervala_read_string(&r, &text, &length));
  EXPECT_EQ(std::string(text, length), "ab");
  // A value of another type than asked for fails the reader for good.
  const uint8_t two_ints[] = {3, 1, 0, 0, 0, 3, 2, 0, 0, 0};
  tervala_reader_init(&r, two_ints, sizeof two_ints);
  bool flag = false;
  EXPECT_FALSE(tervala_read_bool(&r, &flag));
  EXPECT_EQ(r.position, 0u);
  int64_t number = 0;
  EXPECT_FALSE(tervala_read_int(&r, &number));

  // The writer refuses invalid arguments, and stays failed.
  TervalaWriter w;
  tervala_writer_init(&w);
  EXPECT_FALSE(tervala_write_bytes(&w, nullptr, 3));
  EXPECT_TRUE(w.failed);
  EXPECT_FALSE(tervala_write_null(&w));
  tervala_writer_free(&w);
  EXPECT_TRUE(tervala_write_bytes(&w, nullptr, 0));
  EXPECT_TRUE(tervala_write_int32_list(&w, nullptr, 0));
  tervala_writer_free(&w);
  EXPECT_FALSE(tervala_write_cstring(&w, nullptr));
  tervala_writer_free(&w);
  EXPECT_FALSE(tervala_write_error(&w, "code", nullptr));
  tervala_writer_free(&w);
  // Counts the wire cannot carry, or whose byte size overflows, fail before any element is
  // touched.
  const int64_t one = 1;
  if (SIZE_MAX > UINT32_MAX) {
    EXPECT_FALSE(tervala_write_list(&w, static_cast<size_t>(UINT32_MAX) + 1));
    tervala_writer_free(&w);
  }
  EXPECT_FALSE(tervala_write_int64_list(&w, &one, SIZE_MAX / 4));
  tervala_writer_free(&w);
  EXPECT_FALSE(tervala_write_string(&w, "x", SIZE_MAX));
  tervala_writer_free(&w);
}

// Whether the C reader, walking `bytes` head by head, stops at a tag it does not know: the
// C++ codec reads such a tag as null and goes on, so there the two need not agree.
bool StopsAtUnknownTag(const uint8_t* bytes, size_t size) {
  TervalaReader r;
  tervala_reader_init(&r, bytes, size);
  TervalaValue value;
  while (tervala_read_value(&r, &value)) {
  }
  return r.position < size && bytes[r.position] > TERVALA_FLOAT_LIST;
}

TEST(BundleCodec, CorpusAndItsMutationsAgreeWithTheCppCodec) {
  // Each byte of each file is also replaced by tags and size markers.
  static constexpr uint8_t kMutations[] = {0, 1, 5, 9, 11, 12, 13, 14, 15, 253, 254, 255};
  std::vector<Bytes> inputs;
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(CODEC_CORPUS_DIR)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ++files;
    inputs.push_back(file);
    for (size_t size = 0; size < file.size(); ++size) {
      inputs.emplace_back(file.begin(), file.begin() + static_cast<ptrdiff_t>(size));
      for (uint8_t byte : kMutations) {
        Bytes mutated = file;
        mutated[size] = byte;
        inputs.push_back(mutated);
      }
    }
  }
  ASSERT_GE(files, 10u);
  size_t compared = 0;
  ::testing::internal::CaptureStderr();
  for (const Bytes& input : inputs) {
    SCOPED_TRACE(::testing::PrintToString(input));
    const ExactCopy copy(input.data(), input.size());
    TervalaReader r;
    tervala_reader_init(&r, copy.get(), input.size());
    const bool c_decodes = tervala_skip_value(&r);
    // No bytes are a null to the C++ codec, and the empty reply to bundles.
    if (input.empty()) {
      EXPECT_FALSE(c_decodes);
      continue;
    }
    if (!c_decodes && StopsAtUnknownTag(copy.get(), input.size())) continue;
    std::unique_ptr<EncodableValue> cpp = CppDecode(input);
    ASSERT_EQ(c_decodes, cpp != nullptr);
    ++compared;
    if (!c_decodes) continue;
    // Both read the same value (compared by encoding, as NaN equals nothing).
    tervala_reader_init(&r, copy.get(), input.size());
    std::optional<EncodableValue> c_value = CRead(&r);
    ASSERT_TRUE(c_value.has_value());
    EXPECT_EQ(CppEncode(*c_value), CppEncode(*cpp));
  }
  ::testing::internal::GetCapturedStderr();
  EXPECT_GT(compared, inputs.size() / 2);
}

}  // namespace
