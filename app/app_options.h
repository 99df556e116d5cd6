#ifndef TERVALA_APP_APP_OPTIONS_H_
#define TERVALA_APP_APP_OPTIONS_H_

#include <string>

namespace nimbus {

// The options of one backend app: the project's identifiers and keys. A plain value; each
// field is empty until set.
struct AppOptions {
  std::string package_name;
  std::string api_key;
  std::string app_id;
  std::string database_url;
  std::string tracking_id;
  std::string messaging_sender_id;
  std::string storage_bucket;
  std::string project_id;

  bool operator==(const AppOptions&) const = default;
};

// The configuration file names, in the order they are tried.
inline constexpr char kConfigFileDesktop[] = "nimbus-services-desktop.json";
inline constexpr char kConfigFileDefault[] = "nimbus-services.json";

// Fills `options` (or a new record when it is null) from the first configuration file in
// the config directory that loads. Returns the filled record, or null when neither file
// loads. A record allocated here belongs to the caller on success and is freed on failure.
// A record passed in may keep fields set by a file that failed part way.
AppOptions* LoadDefaultOptions(AppOptions* options);

// Reads the configuration file at `path` (UTF-8) into `options`. Files larger than 512000
// bytes are not read. Returns true when the file was read and parsed.
bool LoadOptionsFile(const char* path, AppOptions* options);

// Parses NUL-terminated configuration JSON into `options`, or into a new record when it is
// null. Returns the record, or null on failure (a record allocated here is then freed).
// Fields the JSON does not set keep their values.
AppOptions* ParseJsonConfig(const char* json, AppOptions* options);

// Sets the directory searched for configuration files; empty means the current directory.
// A separator is appended when the path does not end in one. Set it before options are
// loaded on other threads.
void SetConfigDirectory(const char* path);
// The config directory as stored by SetConfigDirectory.
std::string GetConfigDirectory();

// Completes empty app_id, api_key and project_id from the default configuration files (no
// file is read when all three are set; other fields are never touched). Returns whether
// all three are set afterwards.
bool FillMissingRequired(AppOptions& options);

}  // namespace nimbus

#endif  // TERVALA_APP_APP_OPTIONS_H_
