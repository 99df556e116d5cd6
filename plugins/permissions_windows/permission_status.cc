#include "plugins/permissions_windows/permission_status.h"

#include <array>
#include <string_view>

namespace tervala_plugins {
namespace {

// The permissions the engine-side application asks about. A desktop process that runs
// outside a sandbox needs no run-time grant for any of them.
constexpr std::array<std::string_view, 12> kPermissions = {
    "bluetooth",    "calendar", "camera", "contacts", "location", "microphone",
    "notification", "phone",    "photos", "sensors",  "speech",   "storage"};

}  // namespace

std::optional<std::string> PermissionStatus(const std::string& name) {
  for (std::string_view permission : kPermissions) {
    if (permission == name) return std::string("granted");
  }
  return std::nullopt;
}

}  // namespace tervala_plugins
