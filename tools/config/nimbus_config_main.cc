// nimbus-config: loads app options the way the app core does and prints them as one line of
// JSON. With FILE, that one configuration file is read; without, the default files are
// looked up in the current directory. Log lines go to standard error; the exit code is 0
// when options were loaded and 1 otherwise.

#include <flatbuffers/util.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/app_options.h"
#include "app/config_file.h"
#include "app/log.h"
#include "tools/common/tool_main.h"
#include "tools/common/tool_version.h"

namespace {

constexpr char kUsage[] =
    "usage: nimbus-config [FILE]\n"
    "Loads app options from FILE, or from nimbus-services-desktop.json or\n"
    "nimbus-services.json in the current directory, and prints them as JSON.\n"
    "       nimbus-config --version | --help\n";

// Writes log lines, with their level prefixes, to standard error.
void StderrLogSink(nimbus::LogLevel level, const char* message, void* /*user_data*/) {
  std::fprintf(stderr, "%s%s\n", nimbus::LogLevelPrefix(level), message);
}

// The options as one JSON object, keys in field order. False when a value cannot be
// written as JSON text.
bool OptionsToJson(const nimbus::AppOptions& options, std::string* json) {
  const struct {
    const char* key;
    const std::string& value;
  } fields[] = {
      {"package_name", options.package_name},
      {"api_key", options.api_key},
      {"app_id", options.app_id},
      {"database_url", options.database_url},
      {"tracking_id", options.tracking_id},
      {"messaging_sender_id", options.messaging_sender_id},
      {"storage_bucket", options.storage_bucket},
      {"project_id", options.project_id},
  };
  *json = "{";
  for (const auto& field : fields) {
    if (json->size() > 1) *json += ",";
    *json += "\"";
    *json += field.key;
    *json += "\":";
    // Non-ASCII and control characters become \u escapes, so the line is plain ASCII.
    if (!flatbuffers::EscapeString(field.value.data(), field.value.size(), json,
                                   /*allow_non_utf8=*/false, /*natural_utf8=*/false)) {
      return false;
    }
  }
  *json += "}";
  return true;
}

// Says why a file gave no options when the loader itself logged nothing about it.
void ExplainFileFailure(const char* path) {
  std::string ignored;
  const char* reason = nullptr;
  switch (nimbus::ReadConfigFile(path, nimbus::kMaxConfigFileSize, &ignored)) {
    case nimbus::ConfigFileStatus::kUnavailable:
      reason = "cannot be opened (missing, not a regular file, or not readable)";
      break;
    case nimbus::ConfigFileStatus::kTooLarge:
      reason = "is larger than 512000 bytes";
      break;
    case nimbus::ConfigFileStatus::kReadFailed:
      reason = "could not be read";
      break;
    case nimbus::ConfigFileStatus::kBadPath:
    case nimbus::ConfigFileStatus::kOk:
      break;  // already reported by the loader
  }
  if (reason != nullptr) std::fprintf(stderr, "nimbus-config: %s %s\n", path, reason);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = tervala::tools::ToolArguments(argc, argv);
  if (args.size() > 1) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  if (tervala::tools::IsVersionRequest(args)) return tervala::tools::PrintVersion("nimbus-config");
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  nimbus::LogSetCallback(StderrLogSink, nullptr);

  nimbus::AppOptions options;
  if (args.size() == 1) {
    if (!nimbus::LoadOptionsFile(args[0].c_str(), &options)) {
      ExplainFileFailure(args[0].c_str());
      return 1;
    }
  } else if (nimbus::LoadDefaultOptions(&options) == nullptr) {
    return 1;
  }

  std::string json;
  if (!OptionsToJson(options, &json)) {
    std::fputs("nimbus-config: the options are not valid UTF-8\n", stderr);
    return 1;
  }
  std::printf("%s\n", json.c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}
