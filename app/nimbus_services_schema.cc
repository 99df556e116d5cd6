#include "app/nimbus_services_schema.h"

namespace nimbus {

// The slots of each table follow from the order of its fields. The readers in
// nimbus_services_tables.h rely on that order: add fields only at the end of a table.
const char kNimbusServicesSchema[] = R"fbs(
// Schema of the configuration file that the backend's console hands out
// (nimbus-services-desktop.json or nimbus-services.json). Every field name equals the
// JSON key used in that file, so a downloaded file parses unchanged. Keys not declared
// here are skipped when a file is read.

namespace nimbus.fbs;

// The project the app belongs to.
table ProjectInfo {
  project_number:string;
  nimbus_url:string;
  project_id:string;
  storage_bucket:string;
}

table PlatformClientInfo {
  package_name:string;
}

// The identity of one client app of the project.
table ClientInfo {
  mobile_app_id:string;
  platform_client_info:PlatformClientInfo;
}

table PlatformInfo {
  package_name:string;
  certificate_hash:string;
}

table OAuthClient {
  client_id:string;
  client_type:int;
  platform_info:PlatformInfo;
}

table ApiKey {
  current_key:string;
}

table AnalyticsProperty {
  tracking_id:string;
}

table AnalyticsService {
  status:int;
  analytics_property:AnalyticsProperty;
}

table InviteService {
  status:int;
}

table AdsService {
  status:int;
  test_banner_ad_unit_id:string;
  test_interstitial_ad_unit_id:string;
  analytics_service:AnalyticsService;
}

table Services {
  analytics_service:AnalyticsService;
  invite_service:InviteService;
  ads_service:AdsService;
}

// One client app: its identity, OAuth clients, API keys and services.
table Client {
  client_info:ClientInfo;
  oauth_client:[OAuthClient];
  api_key:[ApiKey];
  services:Services;
}

// The whole configuration file.
table NimbusServices {
  project_info:ProjectInfo;
  client:[Client];
  configuration_version:string;
}

root_type NimbusServices;
)fbs";

}  // namespace nimbus
