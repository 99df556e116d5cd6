#ifndef TERVALA_APP_NIMBUS_SERVICES_TABLES_H_
#define TERVALA_APP_NIMBUS_SERVICES_TABLES_H_

// Read-only views of the tables of the configuration schema (nimbus_services_schema.cc), in
// the shape flatc generates: each field's slot follows from its position in its table, and
// Verify() checks every field of the table, read here or not.

#include <flatbuffers/flatbuffers.h>

namespace nimbus::fbs {

// The slot of the field at `index` (0-based) in its table's declaration order.
constexpr flatbuffers::voffset_t FieldSlot(int index) {
  return static_cast<flatbuffers::voffset_t>(4 + 2 * index);
}

using String = flatbuffers::String;

struct ProjectInfo : private flatbuffers::Table {
  enum : flatbuffers::voffset_t {
    kProjectNumber = FieldSlot(0),
    kNimbusUrl = FieldSlot(1),
    kProjectId = FieldSlot(2),
    kStorageBucket = FieldSlot(3),
  };
  const String* project_number() const { return GetPointer<const String*>(kProjectNumber); }
  const String* nimbus_url() const { return GetPointer<const String*>(kNimbusUrl); }
  const String* project_id() const { return GetPointer<const String*>(kProjectId); }
  const String* storage_bucket() const { return GetPointer<const String*>(kStorageBucket); }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kProjectNumber) &&
           verifier.VerifyString(project_number()) && VerifyOffset(verifier, kNimbusUrl) &&
           verifier.VerifyString(nimbus_url()) && VerifyOffset(verifier, kProjectId) &&
           verifier.VerifyString(project_id()) && VerifyOffset(verifier, kStorageBucket) &&
           verifier.VerifyString(storage_bucket()) && verifier.EndTable();
  }
};

struct PlatformClientInfo : private flatbuffers::Table {
  enum : flatbuffers::voffset_t { kPackageName = FieldSlot(0) };
  const String* package_name() const { return GetPointer<const String*>(kPackageName); }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kPackageName) &&
           verifier.VerifyString(package_name()) && verifier.EndTable();
  }
};

struct ClientInfo : private flatbuffers::Table {
  enum : flatbuffers::voffset_t { kMobileAppId = FieldSlot(0), kPlatformClientInfo = FieldSlot(1) };
  const String* mobile_app_id() const { return GetPointer<const String*>(kMobileAppId); }
  const PlatformClientInfo* platform_client_info() const {
    return GetPointer<const PlatformClientInfo*>(kPlatformClientInfo);
  }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kMobileAppId) &&
           verifier.VerifyString(mobile_app_id()) && VerifyOffset(verifier, kPlatformClientInfo) &&
           verifier.VerifyTable(platform_client_info()) && verifier.EndTable();
  }
};

struct PlatformInfo : private flatbuffers::Table {
  enum : flatbuffers::voffset_t { kPackageName = FieldSlot(0), kCertificateHash = FieldSlot(1) };
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kPackageName) &&
           verifier.VerifyString(GetPointer<const String*>(kPackageName)) &&
           VerifyOffset(verifier, kCertificateHash) &&
           verifier.VerifyString(GetPointer<const String*>(kCertificateHash)) &&
           verifier.EndTable();
  }
};

struct OAuthClient : private flatbuffers::Table {
  enum : flatbuffers::voffset_t {
    kClientId = FieldSlot(0),
    kClientType = FieldSlot(1),
    kPlatformInfo = FieldSlot(2),
  };
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kClientId) &&
           verifier.VerifyString(GetPointer<const String*>(kClientId)) &&
           VerifyField<int32_t>(verifier, kClientType, sizeof(int32_t)) &&
           VerifyOffset(verifier, kPlatformInfo) &&
           verifier.VerifyTable(GetPointer<const PlatformInfo*>(kPlatformInfo)) &&
           verifier.EndTable();
  }
};

struct ApiKey : private flatbuffers::Table {
  enum : flatbuffers::voffset_t { kCurrentKey = FieldSlot(0) };
  const String* current_key() const { return GetPointer<const String*>(kCurrentKey); }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kCurrentKey) &&
           verifier.VerifyString(current_key()) && verifier.EndTable();
  }
};

struct AnalyticsProperty : private flatbuffers::Table {
  enum : flatbuffers::voffset_t { kTrackingId = FieldSlot(0) };
  const String* tracking_id() const { return GetPointer<const String*>(kTrackingId); }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kTrackingId) &&
           verifier.VerifyString(tracking_id()) && verifier.EndTable();
  }
};

struct AnalyticsService : private flatbuffers::Table {
  enum : flatbuffers::voffset_t { kStatus = FieldSlot(0), kAnalyticsProperty = FieldSlot(1) };
  const AnalyticsProperty* analytics_property() const {
    return GetPointer<const AnalyticsProperty*>(kAnalyticsProperty);
  }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyField<int32_t>(verifier, kStatus, sizeof(int32_t)) &&
           VerifyOffset(verifier, kAnalyticsProperty) &&
           verifier.VerifyTable(analytics_property()) && verifier.EndTable();
  }
};

struct InviteService : private flatbuffers::Table {
  enum : flatbuffers::voffset_t { kStatus = FieldSlot(0) };
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyField<int32_t>(verifier, kStatus, sizeof(int32_t)) &&
           verifier.EndTable();
  }
};

struct AdsService : private flatbuffers::Table {
  enum : flatbuffers::voffset_t {
    kStatus = FieldSlot(0),
    kTestBannerAdUnitId = FieldSlot(1),
    kTestInterstitialAdUnitId = FieldSlot(2),
    kAnalyticsService = FieldSlot(3),
  };
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyField<int32_t>(verifier, kStatus, sizeof(int32_t)) &&
           VerifyOffset(verifier, kTestBannerAdUnitId) &&
           verifier.VerifyString(GetPointer<const String*>(kTestBannerAdUnitId)) &&
           VerifyOffset(verifier, kTestInterstitialAdUnitId) &&
           verifier.VerifyString(GetPointer<const String*>(kTestInterstitialAdUnitId)) &&
           VerifyOffset(verifier, kAnalyticsService) &&
           verifier.VerifyTable(GetPointer<const AnalyticsService*>(kAnalyticsService)) &&
           verifier.EndTable();
  }
};

struct Services : private flatbuffers::Table {
  enum : flatbuffers::voffset_t {
    kAnalyticsService = FieldSlot(0),
    kInviteService = FieldSlot(1),
    kAdsService = FieldSlot(2),
  };
  const AnalyticsService* analytics_service() const {
    return GetPointer<const AnalyticsService*>(kAnalyticsService);
  }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kAnalyticsService) &&
           verifier.VerifyTable(analytics_service()) && VerifyOffset(verifier, kInviteService) &&
           verifier.VerifyTable(GetPointer<const InviteService*>(kInviteService)) &&
           VerifyOffset(verifier, kAdsService) &&
           verifier.VerifyTable(GetPointer<const AdsService*>(kAdsService)) && verifier.EndTable();
  }
};

struct Client : private flatbuffers::Table {
  enum : flatbuffers::voffset_t {
    kClientInfo = FieldSlot(0),
    kOauthClient = FieldSlot(1),
    kApiKey = FieldSlot(2),
    kServices = FieldSlot(3),
  };
  using OAuthClients = flatbuffers::Vector<flatbuffers::Offset<OAuthClient>>;
  using ApiKeys = flatbuffers::Vector<flatbuffers::Offset<ApiKey>>;
  const ClientInfo* client_info() const { return GetPointer<const ClientInfo*>(kClientInfo); }
  const OAuthClients* oauth_client() const { return GetPointer<const OAuthClients*>(kOauthClient); }
  const ApiKeys* api_key() const { return GetPointer<const ApiKeys*>(kApiKey); }
  const Services* services() const { return GetPointer<const Services*>(kServices); }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kClientInfo) &&
           verifier.VerifyTable(client_info()) && VerifyOffset(verifier, kOauthClient) &&
           verifier.VerifyVector(oauth_client()) && verifier.VerifyVectorOfTables(oauth_client()) &&
           VerifyOffset(verifier, kApiKey) && verifier.VerifyVector(api_key()) &&
           verifier.VerifyVectorOfTables(api_key()) && VerifyOffset(verifier, kServices) &&
           verifier.VerifyTable(services()) && verifier.EndTable();
  }
};

struct NimbusServices : private flatbuffers::Table {
  enum : flatbuffers::voffset_t {
    kProjectInfo = FieldSlot(0),
    kClient = FieldSlot(1),
    kConfigurationVersion = FieldSlot(2),
  };
  using Clients = flatbuffers::Vector<flatbuffers::Offset<Client>>;
  const ProjectInfo* project_info() const { return GetPointer<const ProjectInfo*>(kProjectInfo); }
  const Clients* client() const { return GetPointer<const Clients*>(kClient); }
  bool Verify(flatbuffers::Verifier& verifier) const {
    return VerifyTableStart(verifier) && VerifyOffset(verifier, kProjectInfo) &&
           verifier.VerifyTable(project_info()) && VerifyOffset(verifier, kClient) &&
           verifier.VerifyVector(client()) && verifier.VerifyVectorOfTables(client()) &&
           VerifyOffset(verifier, kConfigurationVersion) &&
           verifier.VerifyString(GetPointer<const String*>(kConfigurationVersion)) &&
           verifier.EndTable();
  }
};

}  // namespace nimbus::fbs

#endif  // TERVALA_APP_NIMBUS_SERVICES_TABLES_H_
