#ifndef TERVALA_PLUGINS_PERMISSION_STATUS_H_
#define TERVALA_PLUGINS_PERMISSION_STATUS_H_

// What the desktop grants the application, permission by permission.

#include <optional>
#include <string>

namespace tervala_plugins {

// The status of the permission `name` ("granted", "denied", "restricted"), or empty when
// no permission has that name.
std::optional<std::string> PermissionStatus(const std::string& name);

}  // namespace tervala_plugins

#endif  // TERVALA_PLUGINS_PERMISSION_STATUS_H_
