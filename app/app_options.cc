#include "app/app_options.h"

#include <flatbuffers/idl.h>

#include <memory>
#include <string>

#include "app/assert.h"
#include "app/config_file.h"
#include "app/log.h"
#include "app/mutex.h"
#include "app/nimbus_services_schema.h"
#include "app/nimbus_services_tables.h"

namespace nimbus {
namespace {

constexpr const char* kConfigFileNames[] = {kConfigFileDesktop, kConfigFileDefault};

// The config directory. Its lock only keeps concurrent readers and writers from tearing the
// string; callers still set it before loading options elsewhere.
Mutex& ConfigDirectoryLock() {
  static Mutex* lock = new Mutex(Mutex::kModeNonRecursive);
  return *lock;
}
std::string& ConfigDirectory() {
  static std::string* directory = new std::string();
  return *directory;
}

// Copies a string field of the configuration into an option when the field is present.
void CopyIfPresent(const flatbuffers::String* field, std::string& option) {
  if (field != nullptr) option.assign(field->data(), field->size());
}

// Takes the project-wide options from `project_info`.
void ReadProjectInfo(const fbs::ProjectInfo& project_info, AppOptions& options) {
  CopyIfPresent(project_info.nimbus_url(), options.database_url);
  CopyIfPresent(project_info.project_number(), options.messaging_sender_id);
  CopyIfPresent(project_info.storage_bucket(), options.storage_bucket);
  CopyIfPresent(project_info.project_id(), options.project_id);
}

// The package name of a client, or null when the client has none.
const flatbuffers::String* ClientPackageName(const fbs::Client& client) {
  const fbs::ClientInfo* info = client.client_info();
  if (info == nullptr || info->platform_client_info() == nullptr) return nullptr;
  return info->platform_client_info()->package_name();
}

// Takes the client options from the first client that has a package name. Returns false
// when there is no such client.
bool ReadClient(const fbs::NimbusServices& config, AppOptions& options) {
  if (config.client() == nullptr) return false;
  for (const fbs::Client* client : *config.client()) {
    const flatbuffers::String* package_name = ClientPackageName(*client);
    if (package_name == nullptr) continue;
    CopyIfPresent(package_name, options.package_name);
    if (client->api_key() != nullptr) {
      for (const fbs::ApiKey* key : *client->api_key()) {
        if (key->current_key() != nullptr) {
          CopyIfPresent(key->current_key(), options.api_key);
          break;
        }
      }
    }
    CopyIfPresent(client->client_info()->mobile_app_id(), options.app_id);
    const fbs::Services* services = client->services();
    if (services != nullptr && services->analytics_service() != nullptr &&
        services->analytics_service()->analytics_property() != nullptr) {
      CopyIfPresent(services->analytics_service()->analytics_property()->tracking_id(),
                    options.tracking_id);
    }
    return true;
  }
  return false;
}

// Warns about each commonly needed option that is still empty.
void WarnAboutEmptyOptions(const AppOptions& options) {
  const struct {
    const std::string& value;
    const char* label;
  } checks[] = {
      {options.database_url, "Database URL"},
      {options.storage_bucket, "Storage bucket"},
      {options.project_id, "Project ID"},
      {options.api_key, "API key"},
      {options.app_id, "App ID"},
  };
  for (const auto& check : checks) {
    if (check.value.empty()) LogWarning("%s not set in the Nimbus config.", check.label);
  }
}

}  // namespace

AppOptions* LoadDefaultOptions(AppOptions* options) {
  std::unique_ptr<AppOptions> allocated;
  if (options == nullptr) {
    allocated = std::make_unique<AppOptions>();
    options = allocated.get();
  }
  const std::string directory = GetConfigDirectory();
  std::string tried;
  for (const char* name : kConfigFileNames) {
    const std::string path = directory + name;
    if (LoadOptionsFile(path.c_str(), options)) {
      allocated.release();  // the caller owns it now
      return options;
    }
    if (!tried.empty()) tried += ", ";
    tried += path;
  }
  LogError("Unable to load Nimbus app options ([%s] are missing or malformed)", tried.c_str());
  return nullptr;
}

bool LoadOptionsFile(const char* path, AppOptions* options) {
  NIMBUS_ASSERT_RETURN(path != nullptr, false);
  std::string json;
  std::string conversion_error;
  switch (ReadConfigFile(path, kMaxConfigFileSize, &json, &conversion_error)) {
    case ConfigFileStatus::kOk:
      break;
    case ConfigFileStatus::kBadPath:
      LogError("Can't convert path '%s' to UTF-16: %s", path, conversion_error.c_str());
      return false;
    default:
      return false;
  }
  return ParseJsonConfig(json.c_str(), options) != nullptr;
}

AppOptions* ParseJsonConfig(const char* json, AppOptions* options) {
  NIMBUS_ASSERT_RETURN(json != nullptr, nullptr);
  flatbuffers::IDLOptions parser_options;
  parser_options.skip_unexpected_fields_in_json = true;
  flatbuffers::Parser parser(parser_options);
  if (!parser.Parse(kNimbusServicesSchema, nullptr, kNimbusServicesSchemaName)) {
    LogError("parse_schema_ok");
    LogAssert("Failed to load Nimbus resource schema: %s.", parser.error_.c_str());
    return nullptr;
  }
  // JSON only: schema declarations (root_type, include, ...) in the text are refused.
  if (!parser.ParseJson(json)) {
    LogError(
        "Failed to parse Nimbus config: %s. Check the config string passed to "
        "App::CreateFromJsonConfig()",
        parser.error_.c_str());
    return nullptr;
  }
  flatbuffers::Verifier verifier(parser.builder_.GetBufferPointer(), parser.builder_.GetSize());
  if (!verifier.VerifyBuffer<fbs::NimbusServices>(nullptr)) {
    LogError(
        "Failed to parse Nimbus config: integrity check failed. Check the config string "
        "passed to App::CreateFromJsonConfig()");
    return nullptr;
  }
  const auto* config =
      flatbuffers::GetRoot<fbs::NimbusServices>(parser.builder_.GetBufferPointer());

  std::unique_ptr<AppOptions> allocated;
  if (options == nullptr) {
    allocated = std::make_unique<AppOptions>();
    options = allocated.get();
  }
  bool failed = false;
  if (config->project_info() == nullptr) {
    LogError("'project_info' not found in Nimbus config.");
    failed = true;
  } else {
    ReadProjectInfo(*config->project_info(), *options);
    if (!ReadClient(*config, *options)) {
      LogError("'client' data (oauth client ID, API key etc.) not found in Nimbus config.");
      failed = true;
    }
  }
  WarnAboutEmptyOptions(*options);
  if (failed) return nullptr;
  allocated.release();  // the caller owns it now
  return options;
}

void SetConfigDirectory(const char* path) {
  std::string directory = path != nullptr ? path : "";
  if (!directory.empty() && directory.back() != '\\' && directory.back() != '/') {
    directory += kNativePathSeparator;
  }
  MutexLock lock(ConfigDirectoryLock());
  ConfigDirectory() = std::move(directory);
}

std::string GetConfigDirectory() {
  MutexLock lock(ConfigDirectoryLock());
  return ConfigDirectory();
}

bool FillMissingRequired(AppOptions& options) {
  const auto missing_required = [&options] {
    return options.app_id.empty() || options.api_key.empty() || options.project_id.empty();
  };
  if (missing_required()) {
    AppOptions defaults;
    if (LoadDefaultOptions(&defaults) != nullptr) {
      if (options.app_id.empty()) options.app_id = defaults.app_id;
      if (options.api_key.empty()) options.api_key = defaults.api_key;
      if (options.project_id.empty()) options.project_id = defaults.project_id;
    } else {
      LogError("Failed to load default options when attempting to populate missing fields");
    }
  }
  if (missing_required()) {
    LogError("App ID, API key, and Project ID must be specified in App options.");
    return false;
  }
  return true;
}

}  // namespace nimbus
