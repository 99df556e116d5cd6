#include "tools/codec/codec_tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

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

// The built program, with raw bytes through real standard input and output.
// The three tools are built side by side in the build's tools folder.
TEST(CodecToolTest, TheToolsAreBuiltTogetherInTheToolsFolder) {
  const std::filesystem::path codec = TERVALA_CODEC_TOOL;
  EXPECT_EQ(codec.parent_path().filename(), "tools");
  EXPECT_EQ(std::filesystem::path(NIMBUS_CONFIG_TOOL).parent_path(), codec.parent_path());
  EXPECT_EQ(std::filesystem::path(TERVALA_HEARTBEAT_TOOL).parent_path(), codec.parent_path());
}

TEST(CodecToolTest, TheProgramRoundTripsRawBytes) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "codec_tool";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "in.json") << kResponse;
  const std::string tool = TERVALA_CODEC_TOOL;
  auto shell = [&](const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  ASSERT_EQ(shell(tool + " encode --bridge < " + (dir / "in.json").string() + " > " +
                  (dir / "message.bin").string()),
            0);
  ASSERT_EQ(shell(tool + " decode --bridge < " + (dir / "message.bin").string() + " > " +
                  (dir / "out.json").string()),
            0);
  std::ifstream out(dir / "out.json");
  std::string line;
  std::getline(out, line);
  EXPECT_EQ(line, kResponse);
  EXPECT_EQ(std::filesystem::file_size(dir / "message.bin"), 37u);

  // A truncated message: an int32 with one of its four bytes.
  EXPECT_EQ(shell("printf '\\003\\001' | " + tool + " decode > /dev/null 2> " +
                  (dir / "err.txt").string()),
            1);
  std::ifstream err(dir / "err.txt");
  std::getline(err, line);
  EXPECT_THAT(line, StartsWith("tervala-codec: message does not decode"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tervala::codec_tool
