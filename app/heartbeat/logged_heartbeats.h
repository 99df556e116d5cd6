#ifndef TERVALA_APP_HEARTBEAT_LOGGED_HEARTBEATS_H_
#define TERVALA_APP_HEARTBEAT_LOGGED_HEARTBEATS_H_

#include <map>
#include <string>
#include <vector>

namespace nimbus {
namespace heartbeat {

// The heartbeat record of one app, as its heartbeat file holds it: a plain value.
struct LoggedHeartbeats {
  // The date ("%Y-%m-%d") of the app's last heartbeat under any agent; empty when none.
  std::string last_logged_date;
  // Per user-agent string (in byte-wise key order), the dates of its heartbeats, oldest
  // first.
  std::map<std::string, std::vector<std::string>> heartbeats;

  bool operator==(const LoggedHeartbeats&) const = default;
};

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_LOGGED_HEARTBEATS_H_
