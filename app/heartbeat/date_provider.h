#ifndef TERVALA_APP_HEARTBEAT_DATE_PROVIDER_H_
#define TERVALA_APP_HEARTBEAT_DATE_PROVIDER_H_

// Where the heartbeat controller gets "today" from, so that tests can choose the day.

#include <string>

namespace nimbus {
namespace heartbeat {

// The source of the current date. The controller calls it on its worker thread, so an
// implementation must be safe to call from a thread other than the one that made it.
class DateProvider {
 public:
  virtual ~DateProvider() = default;
  // The current date as "%Y-%m-%d" (for example 2025-03-07). Dates in this form compare
  // chronologically as byte strings.
  virtual std::string GetDate() const = 0;
};

// Today's date in UTC, from the system's calendar clock.
class DateProviderImpl : public DateProvider {
 public:
  std::string GetDate() const override;
};

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_DATE_PROVIDER_H_
