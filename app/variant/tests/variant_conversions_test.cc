#include "app/variant/variant_conversions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/log.h"
#include "platform/test_support/child_process.h"
#include "platform/test_support/paths.h"
#include "platform/test_support/scratch_folder.h"

namespace nimbus {
namespace {

using Map = std::map<Variant, Variant>;
using Vector = std::vector<Variant>;

class LogCapture {
 public:
  LogCapture() { LogSetCallback(&LogCapture::Sink, this); }
  ~LogCapture() { LogSetCallback(nullptr, nullptr); }
  std::vector<std::string> errors;

 private:
  static void Sink(LogLevel level, const char* message, void* self) {
    if (level >= kLogLevelError) static_cast<LogCapture*>(self)->errors.push_back(message);
  }
};

// The compact text of the value Python's JSON parser reads from `json`, "<refused>" when it
// refuses it.
std::string PythonRoundTrip(const std::string& json) {
  const tervala_testing::ScratchFolder folder("variant-json");
  const std::string path = folder.Join("value.json");
  if (!tervala_testing::WriteWholeFile(path, json)) return "<no temp file>";
  const tervala_testing::ChildRun run = tervala_testing::RunChild(
      "python3", {"-c",
                  "import json,sys; "
                  "print(json.dumps(json.load(open(sys.argv[1])), separators=(',',':')), end='')",
                  path});
  return run.exit.ExitedWith(0) ? run.out : "<refused>";
}

// False where there is no Python (Windows test machines), which leaves those checks out.
bool HavePython() {
  return tervala_testing::RunChild("python3", {"-c", "import json"}).exit.ExitedWith(0);
}

TEST(VariantToJsonTest, CompactTextOfMapsVectorsAndScalars) {
  EXPECT_EQ(VariantToJson(Map{{Variant("b"), Variant(2)}, {Variant("a"), Variant(1)}}),
            "{\"a\":1,\"b\":2}");
  EXPECT_EQ(VariantToJson(Map{{Variant(true), Variant()}, {Variant(1), Variant(false)}}),
            "{\"1\":false,\"true\":null}");
  EXPECT_EQ(VariantToJson(Map{{Variant(0.5), Variant(1)}}), "{\"0.5000000000000000\":1}");
  EXPECT_EQ(VariantToJson(Variant::EmptyVector()), "[]");
  EXPECT_EQ(VariantToJson(Variant::EmptyMap()), "{}");
  EXPECT_EQ(VariantToJson(Variant(0.5)), "0.5");
  EXPECT_EQ(VariantToJson(Variant(1.0)), "1");
  EXPECT_EQ(VariantToJson(Variant(0.1)), "0.10000000000000001");
  EXPECT_EQ(VariantToJson(Variant(1e21)), "1e+21");
  EXPECT_EQ(VariantToJson(Variant(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
  EXPECT_EQ(VariantVectorToJson({Variant("x"), Variant(-3), Variant(true)}), "[\"x\",-3,true]");
  EXPECT_EQ(VariantMapToJson({{Variant("k"), Variant::EmptyVector()}}), "{\"k\":[]}");

  const Variant heartbeat =
      Map{{Variant("heartbeats"),
           Vector{Map{{Variant("agent"), Variant(std::string("A"))},
                      {Variant("dates"), Vector{Variant(std::string("2025-01-01")),
                                                Variant(std::string("2025-01-02"))}}}}},
          {Variant("version"), Variant("2")}};
  EXPECT_EQ(VariantToJson(heartbeat),
            "{\"heartbeats\":[{\"agent\":\"A\",\"dates\":[\"2025-01-01\",\"2025-01-02\"]}],"
            "\"version\":\"2\"}");
  EXPECT_EQ(VariantToJson(Map{{Variant("a"), Vector{Variant(1), Variant::EmptyMap()}}}, true),
            "{\n  \"a\": [\n    1,\n    {}\n  ]\n}");
}

TEST(VariantToJsonTest, StringsAreEscapedToValidJson) {
  const std::string tricky =
      "q\" b\\ \b\f\n\r\t \x01 \x7F caf\xC3\xA9 \xF0\x9F\x98\x80 bad\xFF\xC3 end";
  const std::string json = VariantToJson(Variant(tricky));
  EXPECT_EQ(json,
            "\"q\\\" b\\\\ \\b\\f\\n\\r\\t \\u0001 \\u007F caf\\u00E9 \\uD83D\\uDE00 "
            "bad\\uFFFD\\uFFFD end\"");
  if (HavePython()) {
    EXPECT_EQ(PythonRoundTrip(json),
              "\"q\\\" b\\\\ \\b\\f\\n\\r\\t \\u0001 \\u007f caf\\u00e9 "
              "\\ud83d\\ude00 bad\\ufffd\\ufffd end\"");
  }
}

TEST(VariantToJsonTest, UnsupportedContentFailsAsAWhole) {
  LogCapture capture;
  const uint8_t byte = 1;
  EXPECT_EQ(VariantToJson(Vector{Variant(1), Variant::FromStaticBlob(&byte, 1)}), "");
  EXPECT_EQ(capture.errors,
            std::vector<std::string>{"Variants containing blobs are not supported."});

  capture.errors.clear();
  EXPECT_EQ(VariantToJson(Map{{Variant(Vector{Variant(1)}), Variant(2)}}), "");
  EXPECT_EQ(VariantToJson(Map{{Variant(), Variant(2)}}), "");
  EXPECT_EQ(capture.errors,
            std::vector<std::string>(
                2, "Variants of non-fundamental types may not be used as map keys."));

  capture.errors.clear();
  EXPECT_EQ(VariantToJson(Vector{Variant(std::numeric_limits<double>::infinity())}), "");
  EXPECT_EQ(capture.errors.size(), 1u);
}

TEST(JsonToVariantTest, ReadsObjectsArraysAndScalars) {
  const Variant v = JsonToVariant("{\"a\":[1,2.5,\"x\"]}");
  ASSERT_TRUE(v.is_map());
  ASSERT_EQ(v.map().size(), 1u);
  const auto& [key, value] = *v.map().begin();
  EXPECT_EQ(key.type(), Variant::kInternalTypeMutableString);
  EXPECT_STREQ(key.string_value(), "a");
  ASSERT_TRUE(value.is_vector());
  ASSERT_EQ(value.vector().size(), 3u);
  EXPECT_EQ(value.vector()[0].type(), Variant::kInternalTypeInt64);
  EXPECT_EQ(value.vector()[0].int64_value(), 1);
  EXPECT_EQ(value.vector()[1].type(), Variant::kInternalTypeDouble);
  EXPECT_EQ(value.vector()[1].double_value(), 2.5);
  EXPECT_EQ(value.vector()[2].type(), Variant::kInternalTypeMutableString);

  EXPECT_EQ(JsonToVariant(" [true, false, null, -0, 1e2, \"\\u00e9\"] "),
            Variant(Vector{Variant(true), Variant(false), Variant(), Variant(0), Variant(100.0),
                           Variant("\xC3\xA9")}));
  EXPECT_EQ(JsonToVariant("\r\n\t{\"\":[\"\\/\\u0041\\ud83d\\ude00\", 1E-2, -1.5e+3]}\n"),
            Variant(Map{{Variant(""),
                         Vector{Variant("/A\xF0\x9F\x98\x80"), Variant(0.01), Variant(-1500.0)}}}));
  EXPECT_EQ(JsonToVariant("-9223372036854775808"), Variant(std::numeric_limits<int64_t>::min()));
  // Integers beyond the 64-bit range are kept as doubles, not read as 0.
  EXPECT_EQ(JsonToVariant("18446744073709551615"), Variant(18446744073709551615.0));
  EXPECT_EQ(JsonToVariant("[-123456789012345678901234]"),
            Variant(Vector{Variant(-123456789012345678901234.0)}));
  // Numbers that underflow read as the nearest double, and the largest ones still read.
  EXPECT_EQ(JsonToVariant("1e-400"), Variant(0.0));
  EXPECT_EQ(JsonToVariant("1.7976931348623157e308"), Variant(1.7976931348623157e308));
}

// Numbers beyond the range of a double would read as infinities, which no JSON text can
// hold: the value could never be written back. They are refused like other bad text.
TEST(JsonToVariantTest, RefusesNumbersBeyondTheRangeOfADouble) {
  const std::string wide_integer = "1" + std::string(400, '0');
  for (const std::string& text : {std::string("1e400"), std::string("[-1.5e309]"),
                                  std::string("{\"a\":1e036154775808}"), wide_integer}) {
    std::string error;
    EXPECT_TRUE(JsonToVariant(text.c_str(), &error).is_null()) << text;
    EXPECT_NE(error.find("number out of range"), std::string::npos) << error;
  }
}

TEST(JsonToVariantTest, RefusesTextThatIsNotStrictJson) {
  LogCapture capture;
  const char* broken[] = {
      "",        "  ",      "{",     "{\"a\":1",  "[1,2,]",   "{a:1}",       "{} xyz",
      "[1] [2]", "nan",     "inf",   "01",        "+1",       "1.",          ".5",
      "0x10",    "// c\n1", "'a'",   "\"a",       "\"\t\"",   "\"\\x41\"",   "\"\\u12\"",
      "tru",     "nul",     "[1 2]", "{\"a\" 1}", "\"\xFF\"", "\"\\ud800\"", "{\"a\":1,\"a\":2}",
  };
  for (const char* text : broken) {
    std::string error;
    EXPECT_TRUE(JsonToVariant(text, &error).is_null()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  EXPECT_TRUE(JsonToVariant(nullptr).is_null());
  EXPECT_TRUE(capture.errors.empty());

  // Deep nesting is refused, not a stack overflow.
  std::string deep(100000, '[');
  deep += std::string(100000, ']');
  EXPECT_TRUE(JsonToVariant(deep.c_str()).is_null());
  std::string fine(60, '[');
  fine += std::string(60, ']');
  EXPECT_TRUE(JsonToVariant(fine.c_str()).is_vector());
}

TEST(JsonToVariantTest, WrittenJsonReadsBackAndPythonAgrees) {
  const Variant tree =
      Map{{Variant("list"), Vector{Variant(1), Variant(-2.25), Variant("s\n\"t\""), Variant()}},
          {Variant("map"), Map{{Variant("nested"), Variant(true)}}},
          {Variant("text"), Variant(std::string(100, 'w'))}};
  const std::string json = VariantToJson(tree);
  EXPECT_EQ(JsonToVariant(json.c_str()), tree);
  EXPECT_EQ(JsonToVariant(VariantToJson(tree, true).c_str()), tree);
  if (HavePython()) {
    EXPECT_EQ(PythonRoundTrip(json), json);
  }
}

TEST(FlexbufferTest, RoundTripsAndReadsTypedVectors) {
  const Variant tree =
      Map{{Variant("ints"),
           Vector{Variant(1), Variant(-300000), Variant(std::numeric_limits<int64_t>::max())}},
          {Variant("mixed"), Vector{Variant(), Variant(true), Variant(0.5), Variant("x")}},
          {Variant("map"), Map{{Variant("b"), Variant(2)}, {Variant("a"), Variant::EmptyVector()}}},
          {Variant("long"), Variant(std::string(50, 'l'))}};
  const std::vector<uint8_t> buffer = VariantToFlexbuffer(tree);
  ASSERT_FALSE(buffer.empty());
  EXPECT_EQ(FlexbufferToVariant(flexbuffers::GetRoot(buffer)), tree);
  EXPECT_EQ(FlexbufferToVariant(buffer.data(), buffer.size()), tree);
  EXPECT_EQ(FlexbufferToVariant(flexbuffers::GetRoot(buffer).AsMap()), tree);

  // Non-string keys are written as their text.
  const auto keyed = VariantMapToFlexbuffer({{Variant(5), Variant("five")}});
  EXPECT_EQ(FlexbufferToVariant(keyed.data(), keyed.size()),
            Variant(Map{{Variant("5"), Variant("five")}}));
  const auto list = VariantVectorToFlexbuffer({Variant(1), Variant("a")});
  EXPECT_EQ(FlexbufferToVariant(flexbuffers::GetRoot(list).AsVector()),
            Variant(Vector{Variant(1), Variant("a")}));

  // Typed and fixed vectors, and unsigned values beyond the Int64 range.
  flexbuffers::Builder builder;
  builder.Vector([&] {
    const int64_t ints[] = {1, 2, 3};
    builder.Vector(ints, 3);
    const double floats[] = {1.5, 2.5};
    builder.FixedTypedVector(floats, 2);
    const bool bools[] = {true, false};
    builder.Vector(bools, 2);
    builder.UInt(std::numeric_limits<uint64_t>::max());
  });
  builder.Finish();
  const auto& typed = builder.GetBuffer();
  EXPECT_EQ(
      FlexbufferToVariant(typed.data(), typed.size()),
      Variant(Vector{Vector{Variant(1), Variant(2), Variant(3)}, Vector{Variant(1.5), Variant(2.5)},
                     Vector{Variant(true), Variant(false)}, Variant(18446744073709551615.0)}));
}

// Strings read from a flexbuffer are heap strings however short, through every overload.
TEST(FlexbufferTest, ShortStringsComeOutInTheHeapForm) {
  const auto text = VariantToFlexbuffer(Variant("ab"));
  const auto map = VariantMapToFlexbuffer({{Variant("k"), Variant("v")}});
  const auto list = VariantVectorToFlexbuffer({Variant("e")});
  const Variant from_reference = FlexbufferToVariant(flexbuffers::GetRoot(text));
  const Variant from_map = FlexbufferToVariant(flexbuffers::GetRoot(map).AsMap());
  const Variant from_vector = FlexbufferToVariant(flexbuffers::GetRoot(list).AsVector());
  const Variant from_bytes = FlexbufferToVariant(map.data(), map.size());
  EXPECT_TRUE(from_reference.is_mutable_string());
  ASSERT_TRUE(from_map.is_map());
  for (const auto& [key, value] : from_map.map()) {
    EXPECT_TRUE(key.is_mutable_string());
    EXPECT_TRUE(value.is_mutable_string());
  }
  ASSERT_TRUE(from_vector.is_vector());
  EXPECT_TRUE(from_vector.vector().at(0).is_mutable_string());
  ASSERT_TRUE(from_bytes.is_map());
  EXPECT_TRUE(from_bytes.map().begin()->second.is_mutable_string());
}

TEST(FlexbufferTest, UnsupportedContentFails) {
  LogCapture capture;
  const uint8_t byte = 1;
  EXPECT_TRUE(VariantToFlexbuffer(Vector{Variant::FromMutableBlob(&byte, 1)}).empty());
  EXPECT_TRUE(VariantToFlexbuffer(Map{{Variant(Map{}), Variant(1)}}).empty());
  EXPECT_EQ(capture.errors,
            (std::vector<std::string>{"Variants containing blobs are not supported.",
                                      "Variants of non-fundamental types may not be used as "
                                      "map keys."}));

  capture.errors.clear();
  flexbuffers::Builder builder;
  builder.Vector([&] {
    builder.Int(1);
    builder.Blob(&byte, 1);
  });
  builder.Finish();
  const auto& with_blob = builder.GetBuffer();
  std::string error;
  EXPECT_TRUE(FlexbufferToVariant(with_blob.data(), with_blob.size(), &error).is_null());
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(capture.errors,
            std::vector<std::string>{"Flexbuffers containing blobs are not supported."});
}

TEST(FlexbufferTest, HostileBuffersFailCleanly) {
  LogCapture capture;
  std::string error;
  EXPECT_TRUE(FlexbufferToVariant(nullptr, 0, &error).is_null());
  const uint8_t junk[] = {0xFF, 0xFF, 0xFF, 0x7F, 0x27, 0x08};
  EXPECT_TRUE(FlexbufferToVariant(junk, sizeof(junk), &error).is_null());
  EXPECT_FALSE(error.empty());

  // Random damage to a valid buffer: never a crash or a read outside it (ASan).
  const Variant tree = JsonToVariant(
      "{\"agents\":[{\"agent\":\"a/1\",\"dates\":[\"2025-01-01\",\"2025-01-02\"]},"
      "{\"agent\":\"b/2\",\"dates\":[]}],\"n\":[1,2.5,-7,true,null],\"v\":\"2\"}");
  ASSERT_TRUE(tree.is_map());
  const std::vector<uint8_t> good = VariantToFlexbuffer(tree);
  std::mt19937 random(5);
  for (int round = 0; round < 5000; ++round) {
    std::vector<uint8_t> damaged = good;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i)
      damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    if (round % 3 == 0) damaged.resize(random() % damaged.size() + 1);
    FlexbufferToVariant(damaged.data(), damaged.size());
  }

  // Shared values cannot multiply into an unbounded tree: a vector that refers to one
  // long string many times.
  flexbuffers::Builder bomb(1024, flexbuffers::BUILDER_FLAG_SHARE_ALL);
  const std::string long_text(60000, 'b');
  bomb.Vector([&] {
    for (int i = 0; i < 20000; ++i) bomb.String(long_text);
  });
  bomb.Finish();
  const auto& bomb_bytes = bomb.GetBuffer();
  ASSERT_LT(bomb_bytes.size(), 200000u);
  error.clear();
  EXPECT_TRUE(FlexbufferToVariant(bomb_bytes.data(), bomb_bytes.size(), &error).is_null());
  EXPECT_NE(error.find("more text"), std::string::npos) << error;
}

}  // namespace
}  // namespace nimbus
