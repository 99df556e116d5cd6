#include "app/heartbeat/heartbeat_storage.h"

#include <flatbuffers/flatbuffers.h>

#include <string_view>
#include <utility>
#include <vector>

#include "app/assert.h"
#include "app/heartbeat/heartbeat_file.h"
#include "app/heartbeat/logged_heartbeats_generated.h"
#include "app/heartbeat/platform_files.h"

namespace nimbus {
namespace heartbeat {
namespace {

constexpr char kHeartbeatFolder[] = "nimbus-heartbeat";
constexpr char kFilePrefix[] = "heartbeats-";
// The file is a few kilobytes at most; anything larger is not ours to read.
constexpr size_t kMaxFileSize = 512000;
constexpr size_t kInitialBuilderSize = 1024;
// Temporary files of writers killed mid-write are removed once they are this old.
constexpr int kStaleTemporaryFileAgeSeconds = 10 * 60;

// Characters that file systems or shells treat specially; the key keeps everything else.
constexpr std::string_view kCharactersRemovedFromKey = "/\\?%*:|\"<>.,;=";

std::string SanitizeKey(const std::string& key) {
  std::string sanitized;
  sanitized.reserve(key.size());
  for (char c : key) {
    if (kCharactersRemovedFromKey.find(c) == std::string_view::npos) sanitized.push_back(c);
  }
  return sanitized;
}

}  // namespace

// The build order fixes the exact bytes: the date string, then per agent its string, its
// date strings, their vector and its table, then the vector of tables and the root table.
// The Create helpers add the second field of each table first.
std::string EncodeLoggedHeartbeats(const LoggedHeartbeats& record) {
  flatbuffers::FlatBufferBuilder builder(kInitialBuilderSize);
  const auto last_logged_date = builder.CreateString(record.last_logged_date);
  std::vector<flatbuffers::Offset<UserAgentDates>> entries;
  entries.reserve(record.heartbeats.size());
  std::vector<flatbuffers::Offset<flatbuffers::String>> dates;
  for (const auto& [agent, agent_dates] : record.heartbeats) {
    const auto user_agent = builder.CreateString(agent);
    dates.clear();
    for (const std::string& date : agent_dates) dates.push_back(builder.CreateString(date));
    const auto date_vector = builder.CreateVector(dates);
    entries.push_back(CreateUserAgentDates(builder, user_agent, date_vector));
  }
  const auto entry_vector = builder.CreateVector(entries);
  builder.Finish(CreateLoggedHeartbeatsTable(builder, last_logged_date, entry_vector));
  return std::string(reinterpret_cast<const char*>(builder.GetBufferPointer()), builder.GetSize());
}

namespace {

// Maps a verified table to a record. Entries that repeat an agent merge in file order, and
// an entry without dates adds no agent.
LoggedHeartbeats Decode(const LoggedHeartbeatsTable& table) {
  LoggedHeartbeats record;
  if (const flatbuffers::String* date = table.last_logged_date()) {
    record.last_logged_date = date->str();
  }
  const auto* entries = table.heartbeats();
  if (entries == nullptr) return record;
  for (const UserAgentDates* entry : *entries) {
    const auto* dates = entry->dates();
    if (dates == nullptr || dates->size() == 0) continue;
    const flatbuffers::String* agent = entry->user_agent();
    std::vector<std::string>& list = record.heartbeats[agent ? agent->str() : std::string()];
    for (const flatbuffers::String* date : *dates) list.push_back(date->str());
  }
  return record;
}

}  // namespace

bool DecodeLoggedHeartbeats(std::string_view bytes, LoggedHeartbeats* record) {
  NIMBUS_ASSERT_RETURN(record != nullptr, false);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  flatbuffers::Verifier verifier(data, bytes.size());
  if (!VerifyLoggedHeartbeatsTableBuffer(verifier)) return false;
  *record = Decode(*GetLoggedHeartbeatsTable(data));
  return true;
}

HeartbeatStorage::HeartbeatStorage(const std::string& heartbeat_key, LoggerBase* logger)
    : logger_(logger != nullptr ? logger : &GetSystemLogger()) {
  std::string error;
  const std::string folder = AppDataDir(kHeartbeatFolder, /*should_create=*/true, &error);
  if (!error.empty()) {
    logger_->LogError("%s", error.c_str());
  } else if (!folder.empty()) {
    filename_ = Utf8ToNative(folder + "/" + kFilePrefix + SanitizeKey(heartbeat_key));
    path_ = NativeToUtf8(filename_.data(), filename_.size());
  }
  if (!TouchFile(filename_)) logger_->LogError("Unable to open '%s'.", path_.c_str());
}

void HeartbeatStorage::RemoveStaleTemporaryFiles() const {
  if (!filename_.empty())
    heartbeat::RemoveStaleTemporaryFiles(filename_, kStaleTemporaryFileAgeSeconds);
}

bool HeartbeatStorage::ReadTo(LoggedHeartbeats* heartbeats) const {
  NIMBUS_ASSERT_RETURN(heartbeats != nullptr, false);
  std::string bytes;
  switch (ReadWholeFile(filename_, kMaxFileSize, &bytes)) {
    case FileResult::kOk:
      break;
    case FileResult::kOpenFailed:
      logger_->LogError("Unable to open '%s' for reading.", path_.c_str());
      return false;
    case FileResult::kTooLarge:
      logger_->LogError("'%s' is too large to read.", path_.c_str());
      return false;
    case FileResult::kSizeUnknown:
      logger_->LogError("Failed to determine size of '%s'.", path_.c_str());
      return false;
    case FileResult::kIoFailed:
      // Taking an unreadable file for an empty one would let the next write wipe it.
      logger_->LogError("Unable to read '%s'.", path_.c_str());
      return false;
  }

  // An empty or damaged file means nothing has been logged yet.
  if (!DecodeLoggedHeartbeats(bytes, heartbeats)) *heartbeats = LoggedHeartbeats();
  return true;
}

bool HeartbeatStorage::Write(const LoggedHeartbeats& heartbeats) const {
  switch (ReplaceFileContents(filename_, EncodeLoggedHeartbeats(heartbeats))) {
    case FileResult::kOk:
      return true;
    case FileResult::kOpenFailed:
      logger_->LogError("Unable to open '%s' for writing.", path_.c_str());
      return false;
    default:
      return false;
  }
}

}  // namespace heartbeat
}  // namespace nimbus
