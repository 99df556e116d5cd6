#include "tools/heartbeat/heartbeat_tool.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string_view>
#include <system_error>

#include "app/heartbeat/heartbeat_file.h"
#include "app/heartbeat/heartbeat_payload.h"
#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/platform_files.h"
#include "app/variant/variant.h"
#include "app/variant/variant_conversions.h"

namespace tervala::heartbeat_tool {
namespace {

using nimbus::heartbeat::LoggedHeartbeats;

constexpr char kProgram[] = "tervala-heartbeat";
constexpr char kUsage[] =
    "usage: tervala-heartbeat show FILE       the record in a heartbeat file, as JSON\n"
    "       tervala-heartbeat payload FILE    the payload the file's record would give\n"
    "       tervala-heartbeat decode PAYLOAD  the text a payload holds\n"
    "       tervala-heartbeat files           this user's heartbeat files and their records\n"
    "       tervala-heartbeat --version | --help\n"
    "TERVALA_DATA_DIR, when set, is the folder that holds nimbus-heartbeat/ in place of the\n"
    "user's local application-data folder, as for tervala_app.\n";

// Heartbeat files are never larger than this; the app refuses to read larger ones too.
constexpr size_t kMaxFileSize = 512000;
constexpr char kHeartbeatFolder[] = "nimbus-heartbeat";
constexpr std::string_view kFilePrefix = "heartbeats-";

// A JSON string literal of `text`.
std::string Quote(const std::string& text) { return nimbus::VariantToJson(nimbus::Variant(text)); }

// `text` with what a terminal would act on written as escapes: control characters (C0,
// DEL, and C1 encoded in UTF-8) as \xHH per byte, tab and newline as \t and \n, and the
// backslash as \\, so a file name can neither split a line nor run terminal sequences.
std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto hex = [&out](unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xf];
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      hex(byte);
    } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
      hex(byte);
      hex(next);
      ++i;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

// Reads the record in the file at `path`. An empty file (as a new app leaves it) holds the
// empty record. On failure, returns false with the reason in `error`.
bool ReadRecord(const std::string& path, LoggedHeartbeats* record, std::string* error) {
  std::string bytes;
  using nimbus::heartbeat::FileResult;
  switch (nimbus::heartbeat::ReadWholeFile(nimbus::Utf8ToNative(path), kMaxFileSize, &bytes)) {
    case FileResult::kOk:
      break;
    case FileResult::kTooLarge:
      *error = path + ": larger than 512000 bytes, not a heartbeat file";
      return false;
    case FileResult::kOpenFailed:
      *error = path + ": cannot open the file";
      return false;
    default:
      *error = path + ": cannot read the file";
      return false;
  }
  if (bytes.empty()) {
    *record = LoggedHeartbeats();
    return true;
  }
  if (!nimbus::heartbeat::DecodeLoggedHeartbeats(bytes, record)) {
    *error = path + ": not a heartbeat file";
    return false;
  }
  return true;
}

int Show(const std::string& path, std::ostream& out, std::ostream& err) {
  LoggedHeartbeats record;
  std::string error;
  if (!ReadRecord(path, &record, &error)) {
    err << kProgram << ": " << error << "\n";
    return 1;
  }
  out << RecordToJson(record) << "\n";
  return 0;
}

int Payload(const std::string& path, std::ostream& out, std::ostream& err) {
  LoggedHeartbeats record;
  std::string error;
  if (!ReadRecord(path, &record, &error)) {
    err << kProgram << ": " << error << "\n";
    return 1;
  }
  // The app gives no payload for a record without heartbeats.
  if (record.heartbeats.empty()) {
    out << "\n";
    return 0;
  }
  const std::string payload =
      nimbus::heartbeat::CompressAndEncode(nimbus::heartbeat::BuildHeartbeatsJson(record));
  if (payload.empty()) {
    err << kProgram << ": " << path << ": the payload would be longer than "
        << nimbus::heartbeat::kMaxPayloadLength << " characters\n";
    return 1;
  }
  out << payload << "\n";
  return 0;
}

int Decode(const std::string& payload, std::ostream& out, std::ostream& err) {
  std::string text;
  if (!nimbus::heartbeat::DecodeAndUncompress(payload, &text)) {
    err << kProgram << ": the payload is not base64 of gzip data\n";
    return 1;
  }
  out << text << "\n";
  return 0;
}

int Files(std::ostream& out, std::ostream& err) {
  std::string error;
  const std::string folder = nimbus::AppDataDir(kHeartbeatFolder, /*should_create=*/false, &error);
  if (folder.empty()) {
    err << kProgram << ": " << (error.empty() ? "no application-data folder" : error) << "\n";
    return 1;
  }
  std::vector<std::string> paths;
  std::error_code ignored;
  // Paths are UTF-8 text; a plain std::string would be taken in the ANSI code page on Windows.
  const std::filesystem::path folder_path(std::u8string(folder.begin(), folder.end()));
  for (const auto& entry : std::filesystem::directory_iterator(folder_path, ignored)) {
    const std::u8string utf8_name = entry.path().filename().u8string();
    const std::string name(utf8_name.begin(), utf8_name.end());
    // Keys lose their periods, so a name with one is a writer's temporary file.
    if (!name.starts_with(kFilePrefix) || name.find('.') != std::string::npos) continue;
    paths.push_back(folder + "/" + name);
  }
  std::sort(paths.begin(), paths.end());
  int status = 0;
  for (const std::string& path : paths) {
    LoggedHeartbeats record;
    if (!ReadRecord(path, &record, &error)) {
      err << kProgram << ": " << Printable(error) << "\n";
      status = 1;
      continue;
    }
    out << Printable(path) << "\t" << RecordToJson(record) << "\n";
  }
  return status;
}

}  // namespace

std::string RecordToJson(const LoggedHeartbeats& record) {
  std::string json =
      "{\"last_logged_date\":" + Quote(record.last_logged_date) + ",\"heartbeats\":{";
  bool first_agent = true;
  for (const auto& [agent, dates] : record.heartbeats) {
    if (!first_agent) json += ',';
    first_agent = false;
    json += Quote(agent) + ":[";
    for (size_t i = 0; i < dates.size(); ++i) {
      if (i != 0) json += ',';
      json += Quote(dates[i]);
    }
    json += ']';
  }
  json += "}}";
  return json;
}

int RunHeartbeatTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kUsage;
    return 0;
  }
  if (args.size() == 2 && args[0] == "show") return Show(args[1], out, err);
  if (args.size() == 2 && args[0] == "payload") return Payload(args[1], out, err);
  if (args.size() == 2 && args[0] == "decode") return Decode(args[1], out, err);
  if (args.size() == 1 && args[0] == "files") return Files(out, err);
  err << kUsage;
  return 2;
}

}  // namespace tervala::heartbeat_tool
