#include "app/heartbeat/date_provider.h"

#include <chrono>
#include <cstdio>

namespace nimbus {
namespace heartbeat {

std::string DateProviderImpl::GetDate() const {
  // The system clock counts UTC time, so the calendar day of its days is the UTC date.
  const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  const std::chrono::year_month_day date(today);
  char text[32];
  const int length = std::snprintf(text, sizeof(text), "%04d-%02u-%02u", int{date.year()},
                                   unsigned{date.month()}, unsigned{date.day()});
  return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace heartbeat
}  // namespace nimbus
