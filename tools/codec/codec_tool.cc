#include "tools/codec/codec_tool.h"

#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string_view>

#include "embedding_client/standard_message_codec.h"
#include "nimbus_core_plugin/bridge_internal_codec_serializer.h"
#include "tools/codec/typed_json.h"

namespace tervala::codec_tool {
namespace {

constexpr char kUsage[] =
    "usage: tervala-codec decode|encode [--bridge] [--hex]\n"
    "  decode  reads one encoded message from standard input and prints it as typed JSON\n"
    "  encode  reads one typed JSON value from standard input and writes the message\n"
    "  --bridge  use the plug-in codec (records under tags 129 and 130)\n"
    "  --hex     messages as hexadecimal text instead of raw bytes\n"
    "       tervala-codec --version | --help\n";

constexpr char kHexDigits[] = "0123456789abcdef";

// Collects what the codec writes to std::cerr while it lives, so that the tool can
// report a failure in one line of its own.
class CapturedDiagnostics {
 public:
  CapturedDiagnostics() : saved_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~CapturedDiagnostics() { std::cerr.rdbuf(saved_); }
  CapturedDiagnostics(const CapturedDiagnostics&) = delete;
  CapturedDiagnostics& operator=(const CapturedDiagnostics&) = delete;

  std::string text() const { return captured_.str(); }
  std::string first_line() const {
    std::string all = captured_.str();
    return all.substr(0, all.find('\n'));
  }

 private:
  std::ostringstream captured_;
  std::streambuf* saved_;
};

// Hexadecimal text to bytes; white space anywhere is ignored.
std::optional<std::string> FromHexText(std::string_view text) {
  std::string bytes;
  int high = -1;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      continue;
    } else {
      return std::nullopt;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<char>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return bytes;
}

int Fail(std::ostream& err, const std::string& message) {
  err << "tervala-codec: " << message << "\n";
  return 1;
}

int Decode(const vela::StandardMessageCodec& codec, std::string input, bool hex, std::ostream& out,
           std::ostream& err) {
  if (hex) {
    std::optional<std::string> bytes = FromHexText(input);
    if (!bytes) return Fail(err, "input is not hexadecimal byte pairs");
    input = std::move(*bytes);
  }
  std::unique_ptr<vela::EncodableValue> value;
  std::string diagnostics;
  {
    CapturedDiagnostics captured;
    value = codec.DecodeMessage(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    diagnostics = value ? captured.text() : captured.first_line();
  }
  if (!value) {
    return Fail(err, "message does not decode" +
                         (diagnostics.empty() ? std::string() : ": " + diagnostics));
  }
  // Warnings of a successful decode (unknown tags read as null) pass through.
  err << diagnostics;
  out << ToTypedJson(*value) << "\n";
  return 0;
}

int Encode(const vela::StandardMessageCodec& codec, Records records, const std::string& input,
           bool hex, std::ostream& out, std::ostream& err) {
  std::string error;
  std::optional<vela::EncodableValue> value = FromTypedJson(input, records, &error);
  if (!value) return Fail(err, error);
  std::unique_ptr<std::vector<uint8_t>> bytes = codec.EncodeMessage(*value);
  if (!hex) {
    out.write(reinterpret_cast<const char*>(bytes->data()),
              static_cast<std::streamsize>(bytes->size()));
    return 0;
  }
  std::string text;
  text.reserve(bytes->size() * 2 + 1);
  for (uint8_t byte : *bytes) {
    text.push_back(kHexDigits[byte >> 4]);
    text.push_back(kHexDigits[byte & 0xF]);
  }
  out << text << "\n";
  return 0;
}

}  // namespace

int RunCodecTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsage;
    return 0;
  }
  bool bridge = false;
  bool hex = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--bridge") {
      bridge = true;
    } else if (args[i] == "--hex") {
      hex = true;
    } else {
      err << "tervala-codec: unknown option " << args[i] << "\n" << kUsage;
      return 2;
    }
  }
  if (args.empty() || (args[0] != "decode" && args[0] != "encode")) {
    err << kUsage;
    return 2;
  }
  const vela::StandardMessageCodec& codec =
      bridge ? nimbus_core_windows::BridgeInternalCodecSerializer::GetCodec()
             : vela::StandardMessageCodec::GetInstance();
  std::string input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (args[0] == "decode") return Decode(codec, std::move(input), hex, out, err);
  return Encode(codec, bridge ? Records::kPlugin : Records::kNone, input, hex, out, err);
}

}  // namespace tervala::codec_tool
