#include "platform/test_support/environment.h"

#include <utility>

namespace tervala_testing {

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name,
                                                     const std::optional<std::string>& value)
    : name_(std::move(name)), saved_(EnvironmentValue(name_)) {
  SetEnvironmentValue(name_, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() { SetEnvironmentValue(name_, saved_); }

ScopedTimeZone::ScopedTimeZone(const std::string& zone) : saved_(EnvironmentValue("TZ")) {
  SetEnvironmentValue("TZ", zone);
  ReloadTimeZone();
}

ScopedTimeZone::~ScopedTimeZone() {
  SetEnvironmentValue("TZ", saved_);
  ReloadTimeZone();
}

}  // namespace tervala_testing
