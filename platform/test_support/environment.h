// Environment variables for tests, set in the process's own environment (the one child
// processes inherit), with UTF-8 names and values on every platform.
#ifndef TERVALA_PLATFORM_TEST_SUPPORT_ENVIRONMENT_H_
#define TERVALA_PLATFORM_TEST_SUPPORT_ENVIRONMENT_H_

#include <optional>
#include <string>

namespace tervala_testing {

std::optional<std::string> EnvironmentValue(const std::string& name);
// Sets `name` to `value`, or removes it when there is no value.
void SetEnvironmentValue(const std::string& name, const std::optional<std::string>& value);

// Sets a variable for its lifetime and restores the earlier value (or its absence) after.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Makes `zone` (a TZ value, such as "XXX-14" for 14 hours east of UTC) the time zone of the
// C library's local-time functions for its lifetime, then restores the earlier one.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const std::string& zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> saved_;
};

// Makes the C library read the time zone from TZ again.
void ReloadTimeZone();

}  // namespace tervala_testing

#endif  // TERVALA_PLATFORM_TEST_SUPPORT_ENVIRONMENT_H_
