#ifndef TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_
#define TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_

// The per-app keeper of the daily usage heartbeat: it records, at most once per UTC day,
// that the app ran and under which user agent, doing all file work on a worker thread of
// its own, and hands the records out for sending to the backend.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/heartbeat/date_provider.h"
#include "app/log.h"

namespace nimbus {
namespace heartbeat {

// Logs heartbeats into one app's heartbeat file. Every task (reading and writing the file,
// and the controller's dates) runs on the controller's single scheduler worker, which starts
// with the first task; the public functions may be called from any thread. Within the
// process, the tasks of all controllers whose keys name the same file (keys that differ only
// in characters a file name drops) run one at a time, so none reads the file while another
// rewrites it.
class HeartbeatController {
 public:
  // The current calendar time in whole seconds. Called on the threads that call the
  // request functions.
  using Clock = std::function<int64_t()>;

  // `heartbeat_key` names the app's file (see HeartbeatStorage); the folder and the file
  // are created here, on the calling thread (temporary files that killed writers left are
  // removed by the first task, on the worker). `logger` and `date_provider` are lent: they
  // must stay valid until Shutdown or ShutdownWithin has returned or the controller is gone.
  // `clock` times the request functions (the system's calendar clock when empty).
  HeartbeatController(const std::string& heartbeat_key, LoggerBase* logger,
                      const DateProvider& date_provider, Clock clock = nullptr);
  // Shuts down; tasks still queued never run.
  ~HeartbeatController();
  HeartbeatController(const HeartbeatController&) = delete;
  HeartbeatController& operator=(const HeartbeatController&) = delete;

  // Asks the worker to record today's heartbeat under the current user agent, unless this
  // app already has one for today, and returns at once. A task whose read or write fails
  // changes nothing, so the next call tries again; after a failed write (another program
  // holding the file, a full disk) the worker also tries again by itself a little later,
  // and then less and less often, so the day is not lost to an app that logs no more.
  void LogHeartbeat();

  // Takes the stored heartbeats as one payload (see heartbeat_payload.h) and clears them
  // from the file, keeping the date of the last heartbeat. When they do not all fit the
  // payload's limit, the agents go in order while they fit and the rest stay for the next
  // request. Empty when there is nothing to give: no heartbeats, all taken today, called
  // again within 30 seconds, or the worker did not answer within 300 milliseconds (however
  // slow the disk). When a request is given up on before the worker took the heartbeats
  // out, they stay in the file. When the worker had already taken them out, its payload is
  // kept in memory only, for the next request of this controller: it is lost if the process
  // ends or the controller is shut down first.
  std::string TakeStoredHeartbeatsPayload();

  // Takes the user agent under which today's heartbeat was stored and removes today's date
  // from it. Empty when there is nothing to give (as above, or when the payload was taken
  // today).
  std::string TakeTodaysHeartbeatAgent();

  // Waits until every task handed to the worker before this call has run, at most
  // `timeout_ms` milliseconds. True when they have; false on time-out or after Shutdown.
  bool WaitUntilIdle(int timeout_ms);

  // Stops the worker, waiting for a running task to end; queued and later tasks never
  // run. After this the controller no longer uses the logger or the date provider, so
  // their owner may destroy them while others still hold the controller.
  void Shutdown();

  // As Shutdown, after giving the tasks handed to the worker before this call at most
  // `timeout_ms` milliseconds to finish; but a task still running then (on a disk that does
  // not answer) is not waited for: it ends on its own later, logging through the
  // process-wide logger and reading no date. Queued and later tasks never run. The file is
  // then as that task leaves it: replaced whole or not at all. True when everything had
  // finished in time.
  bool ShutdownWithin(int timeout_ms);

 private:
  struct Core;
  struct PendingRequest;

  // Runs `task` on the worker and waits for its result (see the request functions).
  std::string Request(std::atomic<int64_t>& last_request_time, void (Core::*task)(PendingRequest&));

  // The state the tasks use, shared with them, so that a task left running by
  // ShutdownWithin keeps it valid after the controller is gone.
  std::shared_ptr<Core> core_;
  Clock clock_;
  // Set once ShutdownWithin left a task running: nothing may wait for the worker then.
  std::atomic<bool> abandoned_{false};
  // When each request function last went to the worker; any calling thread.
  std::atomic<int64_t> last_payload_request_time_{0};
  std::atomic<int64_t> last_agent_request_time_{0};
};

// Waits, as WaitUntilIdle does, for each of `controllers`, all within one `timeout_ms`:
// their workers run side by side, so the whole wait lasts at most `timeout_ms` however
// many controllers there are. True when every one became idle in time.
bool WaitUntilAllIdle(const std::vector<std::shared_ptr<HeartbeatController>>& controllers,
                      int timeout_ms);

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_
