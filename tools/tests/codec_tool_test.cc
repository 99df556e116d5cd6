#include "tools/codec/codec_tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tools/tests/tool_run.h"

namespace tervala::codec_tool {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result RunTool(const std::vector<std::string>& args, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  int status = RunCodecTool(args, in, out, err);
  return {status, out.str(), err.str()};
}

const char kComplex[] =
    R"({"list":[null,true,{"i32":-5},{"i64":9007199254740993},{"f64":0.1},{"str":"hé"},)"
    R"({"str_hex":"ff"},{"u8":"0aff"},{"i32s":[1,-2]},{"i64s":[]},{"f64s":[1e+300,"NaN"]},)"
    R"({"f32s":[]},{"map":[[{"str":"a"},null],[{"str":"b"},{"list":[{"f64":"-0.0"}]}]]}]})";

const char kResponse[] =
    R"({"response":[{"str":"app"},{"options":[{"str":"k"},{"str":"a"},{"str":"s"},{"str":"p"},)"
    R"(null,{"str":""},null,null,null,null,null,null,null,null]},true,{"map":[]}]})";

TEST(CodecToolTest, EncodeThenDecodeGivesBackTheTypedJson) {
  for (bool hex : {false, true}) {
    for (const auto& [json, bridge] : {std::pair{kComplex, false}, std::pair{kResponse, true}}) {
      std::vector<std::string> encode = {"encode"};
      std::vector<std::string> decode = {"decode"};
      for (auto* args : {&encode, &decode}) {
        if (bridge) args->push_back("--bridge");
        if (hex) args->push_back("--hex");
      }
      Result encoded = RunTool(encode, json);
      ASSERT_EQ(encoded.status, 0) << encoded.err;
      if (hex) {
        EXPECT_EQ(encoded.out.back(), '\n');
      }
      Result decoded = RunTool(decode, encoded.out);
      ASSERT_EQ(decoded.status, 0) << decoded.err;
      EXPECT_EQ(decoded.out, std::string(json) + "\n");
      EXPECT_EQ(decoded.err, "");
    }
  }
}

TEST(CodecToolTest, HexIsLowerCaseAndWhiteSpaceIsIgnored) {
  EXPECT_EQ(RunTool({"encode", "--hex"}, R"({"i32":-2})").out, "03feffffff\n");
  Result decoded = RunTool({"decode", "--hex"}, " 03 FE\nff\tff ff\n");
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.out, "{\"i32\":-2}\n");
  EXPECT_EQ(RunTool({"decode", "--hex"}, "").out, "null\n");
}

TEST(CodecToolTest, FailuresExitWithOneLine) {
  for (const auto& [args, input, reason] :
       std::vector<std::tuple<std::vector<std::string>, std::string, std::string>>{
           {{"decode", "--hex"}, "0c02", "message does not decode: Invalid size"},
           {{"decode", "--hex"}, "03ff", "message does not decode: Invalid read"},
           {{"decode", "--hex", "--bridge"}, "81070161", "bad variant access"},
           {{"decode", "--hex"}, "0", "not hexadecimal"},
           {{"decode", "--hex"}, "0g", "not hexadecimal"},
           {{"encode"}, "{\"i32\":", "invalid JSON"},
           {{"encode"}, "[]", "invalid typed JSON"},
           {{"encode"}, kResponse, "use --bridge"},
       }) {
    Result result = RunTool(args, input);
    EXPECT_EQ(result.status, 1) << input;
    EXPECT_THAT(result.err, StartsWith("tervala-codec: ")) << input;
    EXPECT_THAT(result.err, HasSubstr(reason)) << input;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(RunTool({}, "").status, 2);
  EXPECT_EQ(RunTool({"decode", "--fast"}, "").status, 2);
  EXPECT_EQ(RunTool({"--help"}, "").status, 0);
}

TEST(CodecToolTest, UnknownTagsDecodeAsNullWithAWarning) {
  Result result = RunTool({"decode", "--hex"}, "0c02 0f 01");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "{\"list\":[null,true]}\n");
  EXPECT_EQ(result.err, "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n");
}

// The three tools are built side by side: in the build's tools folder on Linux, beside the
// program and its DLLs on Windows.
TEST(CodecToolTest, TheToolsAreBuiltTogetherInTheToolsFolder) {
  const std::filesystem::path codec = TERVALA_CODEC_TOOL;
  EXPECT_EQ(codec.parent_path().filename(), TERVALA_TOOLS_FOLDER_NAME);
  EXPECT_EQ(std::filesystem::path(NIMBUS_CONFIG_TOOL).parent_path(), codec.parent_path());
  EXPECT_EQ(std::filesystem::path(TERVALA_HEARTBEAT_TOOL).parent_path(), codec.parent_path());
}

// The built program, with raw bytes through real standard input and output.
TEST(CodecToolTest, TheProgramRoundTripsRawBytes) {
  using tervala::tools_testing::RunBuiltTool;
  tervala_testing::ChildOptions options;
  options.standard_input = kResponse;
  const auto message = RunBuiltTool(TERVALA_CODEC_TOOL, {"encode", "--bridge"}, options);
  ASSERT_EQ(message.exit_code, 0) << message.err;
  EXPECT_EQ(message.out.size(), 37u);
  options.standard_input = message.out;
  const auto decoded = RunBuiltTool(TERVALA_CODEC_TOOL, {"decode", "--bridge"}, options);
  ASSERT_EQ(decoded.exit_code, 0) << decoded.err;
  EXPECT_EQ(decoded.out, std::string(kResponse) + "\n");

  // A truncated message: an int32 with one of its four bytes.
  options.standard_input = "\003\001";
  const auto truncated = RunBuiltTool(TERVALA_CODEC_TOOL, {"decode"}, options);
  EXPECT_EQ(truncated.exit_code, 1);
  EXPECT_EQ(truncated.out, "");
  EXPECT_THAT(truncated.err, StartsWith("tervala-codec: message does not decode"));
}

}  // namespace
}  // namespace tervala::codec_tool
