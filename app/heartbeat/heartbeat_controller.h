#ifndef TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_
#define TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_

// The per-app keeper of the daily usage heartbeat: it records, at most once per UTC day,
// that the app ran and under which user agent, doing all file work on a worker thread of
// its own, and hands the records out for sending to the backend.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "app/heartbeat/date_provider.h"
#include "app/heartbeat/heartbeat_storage.h"
#include "app/log.h"
#include "app/scheduler.h"

namespace nimbus {
namespace heartbeat {

// Logs heartbeats into one app's heartbeat file. Every task (reading and writing the file,
// and the date fields below) runs on the controller's single scheduler worker, which starts
// with the first task; the public functions may be called from any thread.
class HeartbeatController {
 public:
  // The current calendar time in whole seconds. Called on the threads that call the
  // request functions.
  using Clock = std::function<int64_t()>;

  // `heartbeat_key` names the app's file (see HeartbeatStorage); the folder and the file
  // are created here, on the calling thread. `logger` and `date_provider` are lent: they
  // must stay valid until Shutdown has returned or the controller is gone. `clock` times
  // the request functions (the system's calendar clock when empty).
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
  // slow the disk). A request given up on loses nothing: the heartbeats stay in the file,
  // or, when the worker had already taken them out, its payload goes to the next request.
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

 private:
  struct PendingRequest;

  void LogHeartbeatTask();
  // Schedules LogHeartbeatTask once more after a failed write, unless one is due already.
  void ScheduleRetry();
  void PayloadTask(PendingRequest& request);
  void TodaysAgentTask(PendingRequest& request);
  // Runs `task` on the worker and waits for its result (see the request functions).
  std::string Request(std::atomic<int64_t>& last_request_time,
                      void (HeartbeatController::*task)(PendingRequest&));
  // Hands a task's result to its caller, or to `unclaimed` when the caller has given up.
  static void Answer(PendingRequest& request, std::string result, std::string* unclaimed);

  HeartbeatStorage storage_;
  LoggerBase* logger_;
  scheduler::Scheduler scheduler_;
  const DateProvider& date_provider_;
  Clock clock_;
  std::atomic<bool> shut_down_{false};
  // When each request function last went to the worker; any calling thread.
  std::atomic<int64_t> last_payload_request_time_{0};
  std::atomic<int64_t> last_agent_request_time_{0};

  // Worker thread only.
  // The date of the last heartbeat this process knows to be on disk.
  std::string last_logged_date_;
  // The wait before the next retry of a failed write; 0 when the last write succeeded.
  uint64_t retry_delay_ms_ = 0;
  bool retry_scheduled_ = false;
  // The date on which the stored heartbeats were last handed out as a payload.
  std::string last_payload_date_;
  // The date on which today's heartbeat was last handed out as a user agent.
  std::string last_agent_date_;
  // Results taken from the file for a caller that had stopped waiting; the next request of
  // the same kind gets them.
  std::string unclaimed_payload_;
  std::string unclaimed_agent_;
};

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_
