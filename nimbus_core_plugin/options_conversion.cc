#include "nimbus_core_plugin/options_conversion.h"

#include <string>

namespace nimbus_core_windows {
namespace {

// `text` up to its first zero byte.
std::string UpToZero(const std::string& text) { return std::string(text.c_str()); }

}  // namespace

nimbus::AppOptions ToAppOptions(const CoreNimbusOptions& options) {
  nimbus::AppOptions converted;
  converted.api_key = UpToZero(options.api_key());
  converted.app_id = UpToZero(options.app_id());
  converted.messaging_sender_id = UpToZero(options.messaging_sender_id());
  converted.project_id = UpToZero(options.project_id());
  if (const std::string* database_url = options.database_url()) {
    converted.database_url = UpToZero(*database_url);
  }
  if (const std::string* tracking_id = options.tracking_id()) {
    converted.tracking_id = UpToZero(*tracking_id);
  }
  if (const std::string* storage_bucket = options.storage_bucket()) {
    converted.storage_bucket = UpToZero(*storage_bucket);
  }
  return converted;
}

CoreNimbusOptions ToCoreNimbusOptions(const nimbus::AppOptions& options) {
  CoreNimbusOptions converted(options.api_key, options.app_id, options.messaging_sender_id,
                              options.project_id);
  if (!options.database_url.empty()) converted.set_database_url(options.database_url);
  if (!options.storage_bucket.empty()) converted.set_storage_bucket(options.storage_bucket);
  return converted;
}

}  // namespace nimbus_core_windows
