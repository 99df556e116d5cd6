#include "tools/codec/typed_json.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "nimbus_core_plugin/core_nimbus_options.h"

namespace tervala::codec_tool {
namespace {

using ::testing::HasSubstr;
using vela::EncodableValue;

std::string RoundTrip(const std::string& text, Records records = Records::kPlugin) {
  std::string error;
  auto value = FromTypedJson(text, records, &error);
  EXPECT_TRUE(value) << text << ": " << error;
  return value ? ToTypedJson(*value) : "";
}

std::string ErrorFor(const std::string& text, Records records = Records::kPlugin) {
  std::string error;
  EXPECT_FALSE(FromTypedJson(text, records, &error)) << text;
  return error;
}

TEST(TypedJsonTest, EveryFormRoundTrips) {
  const std::string kOptions =
      R"({"options":[{"str":"k"},{"str":"a"},{"str":"s"},{"str":"p"},null,{"str":""},)"
      R"(null,null,{"str":"t"},null,null,null,null,{"str":"x"}]})";
  for (const std::string& text : {
           std::string("null"),
           std::string("true"),
           std::string("false"),
           std::string(R"({"i32":-2147483648})"),
           std::string(R"({"i64":9223372036854775807})"),
           std::string(R"({"f64":0.1})"),
           std::string(R"({"f64":-1e-320})"),
           std::string(R"({"f64":"-0.0"})"),
           std::string(R"({"f64":"NaN"})"),
           std::string(R"({"str":"quote\" backslash\\ tab\t nl\n \u0001 é ☃ 😀"})"),
           std::string(R"({"str_hex":"c3"})"),
           std::string(R"({"u8":""})"),
           std::string(R"({"u8":"00ff7f"})"),
           std::string(R"({"i32s":[0,-1,2147483647]})"),
           std::string(R"({"i64s":[-9223372036854775808]})"),
           std::string(R"({"f64s":[1.5,"Infinity","-Infinity",5e-324]})"),
           std::string(R"({"f32s":[0.1,3.4028235e+38,"-0.0"]})"),
           std::string(R"({"list":[{"list":[]},{"map":[]}]})"),
           std::string(
               R"({"map":[[null,{"i32":1}],[{"i32":2},null],[{"str":"a"},{"list":[true]}]]})"),
           kOptions,
           R"({"response":[{"str":"app"},)" + kOptions + R"(,false,{"map":[[{"str":"c"},null]]}]})",
       }) {
    EXPECT_EQ(RoundTrip(text), text);
  }
}

TEST(TypedJsonTest, FloatingPointValuesKeepTheirBits) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 2000; ++i) {
    uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof(d));
    float f;
    uint32_t float_bits = static_cast<uint32_t>(bits >> 7);
    std::memcpy(&f, &float_bits, sizeof(f));
    if (std::isnan(d) || std::isnan(f)) continue;
    std::string error;
    auto value =
        FromTypedJson(ToTypedJson(EncodableValue(std::vector<double>{d})), Records::kNone, &error);
    ASSERT_TRUE(value) << error;
    EXPECT_EQ(std::memcmp(&value->Get<std::vector<double>>()[0], &d, sizeof(d)), 0);
    value =
        FromTypedJson(ToTypedJson(EncodableValue(std::vector<float>{f})), Records::kNone, &error);
    ASSERT_TRUE(value) << error;
    EXPECT_EQ(std::memcmp(&value->Get<std::vector<float>>()[0], &f, sizeof(f)), 0);
  }
}

TEST(TypedJsonTest, WritesTextThatIsNotUtf8AsHexAndMapsInKeyOrder) {
  EXPECT_EQ(ToTypedJson(EncodableValue(std::string("\xff\x00", 2))), R"({"str_hex":"ff00"})");
  EXPECT_EQ(ToTypedJson(EncodableValue(std::string("\xed\xa0\x80"))), R"({"str_hex":"eda080"})");
  EXPECT_EQ(ToTypedJson(EncodableValue(std::string("\x7f\x1f", 2))), R"({"str":"\u007f\u001f"})");
  // Input order does not matter; the first of repeated keys stays.
  EXPECT_EQ(RoundTrip(R"({"map":[[{"str":"b"},null],[{"i32":1},true],[{"str":"b"},false]]})"),
            R"({"map":[[{"i32":1},true],[{"str":"b"},null]]})");
  // Escapes and white space in the input are accepted.
  EXPECT_EQ(RoundTrip(" { \"str\" : \"\\u00e9\\ud83d\\ude00\\/\" } \n"), R"({"str":"é😀/"})");
  EXPECT_EQ(RoundTrip(R"({"f64":-0})"), R"({"f64":"-0.0"})");
}

TEST(TypedJsonTest, RefusesInvalidInputWithAReason) {
  EXPECT_THAT(ErrorFor(R"({"i32":2147483648})"), HasSubstr("\"i32\" expects integers"));
  EXPECT_THAT(ErrorFor(R"({"i64":1.0})"), HasSubstr("\"i64\" expects integers"));
  EXPECT_THAT(ErrorFor(R"({"i32s":[1,"2"]})"), HasSubstr("\"i32s\" expects integers"));
  EXPECT_THAT(ErrorFor(R"({"f64":1e999})"), HasSubstr("\"f64\" expects numbers"));
  EXPECT_THAT(ErrorFor(R"({"f32s":[1e39]})"), HasSubstr("\"f32s\" expects numbers"));
  EXPECT_THAT(ErrorFor(R"({"f64":"nan"})"), HasSubstr("\"f64\" expects numbers"));
  EXPECT_THAT(ErrorFor(R"({"u8":"abc"})"), HasSubstr("hexadecimal"));
  EXPECT_THAT(ErrorFor(R"({"str_hex":"zz"})"), HasSubstr("hexadecimal"));
  EXPECT_THAT(ErrorFor(R"({"str":1})"), HasSubstr("\"str\" expects a string"));
  EXPECT_THAT(ErrorFor(R"({"bytes":"00"})"), HasSubstr("unknown type name \"bytes\""));
  EXPECT_THAT(ErrorFor(R"({"i32":1,"i64":2})"), HasSubstr("one member"));
  EXPECT_THAT(ErrorFor("7"), HasSubstr("one member"));
  EXPECT_THAT(ErrorFor(R"({"map":[[null]]})"), HasSubstr("[key, value] pairs"));
  EXPECT_THAT(ErrorFor("{\"str\":\"\xc0\xaf\"}"), HasSubstr("not valid UTF-8"));
  EXPECT_THAT(ErrorFor(R"({"str":"\udc00"})"), HasSubstr("lone surrogate"));
  EXPECT_THAT(ErrorFor("{\"str\":\"a\nb\"}"), HasSubstr("control character"));
  EXPECT_THAT(ErrorFor("null x"), HasSubstr("unexpected text after the value at offset 5"));
  EXPECT_THAT(ErrorFor("[01]"), HasSubstr("invalid JSON"));
  EXPECT_THAT(ErrorFor(""), HasSubstr("unexpected end of input"));
  EXPECT_THAT(ErrorFor(std::string(5000, '[')), HasSubstr("nesting too deep"));

  const std::string options =
      R"({"options":[{"str":"k"},{"str":"a"},{"str":"s"},{"str":"p"},null,null,null,null,null,)"
      R"(null,null,null,null,null]})";
  EXPECT_THAT(ErrorFor(options, Records::kNone), HasSubstr("use --bridge"));
  EXPECT_THAT(ErrorFor(R"({"options":[null]})"), HasSubstr("expects 14 values"));
  std::string wrong_field = options;
  wrong_field.replace(wrong_field.find("null"), 4, R"({"i32":1})");
  EXPECT_THAT(ErrorFor(wrong_field), HasSubstr("(bad variant access)"));
  EXPECT_THAT(ErrorFor(R"({"response":[{"str":"r"},{"str":"not options"},null,{"map":[]}]})"),
              HasSubstr("(bad variant access)"));
}

}  // namespace
}  // namespace tervala::codec_tool
