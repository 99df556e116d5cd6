#ifndef TERVALA_TOOLS_HEARTBEAT_HEARTBEAT_TOOL_H_
#define TERVALA_TOOLS_HEARTBEAT_HEARTBEAT_TOOL_H_

// The tervala-heartbeat command: shows heartbeat files, the payload a file's record would
// give, and what a payload holds. It never changes a file.

#include <iosfwd>
#include <string>
#include <vector>

#include "app/heartbeat/logged_heartbeats.h"

namespace tervala::heartbeat_tool {

// Runs the command with its arguments (without the program name), writing to `out` and
// `err`. Returns the exit status: 0 on success, 1 when a file cannot be read or is not a
// heartbeat file, or a payload does not decode (with one line per problem on `err`), 2 for
// a usage error.
int RunHeartbeatTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// One line of JSON for a record:
// {"last_logged_date":"...","heartbeats":{"agent":["date",...],...}}.
std::string RecordToJson(const nimbus::heartbeat::LoggedHeartbeats& record);

}  // namespace tervala::heartbeat_tool

#endif  // TERVALA_TOOLS_HEARTBEAT_HEARTBEAT_TOOL_H_
