#ifndef TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_
#define TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_

// The per-app keeper of the daily usage heartbeat: it records, at most once per UTC day,
// that the app ran and under which user agent, doing all file work on a worker thread of
// its own.

#include <atomic>
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
  // `heartbeat_key` names the app's file (see HeartbeatStorage); the folder and the file
  // are created here, on the calling thread. `logger` and `date_provider` are lent: they
  // must stay valid until Shutdown has returned or the controller is gone.
  HeartbeatController(const std::string& heartbeat_key, LoggerBase* logger,
                      const DateProvider& date_provider);
  // Shuts down; tasks still queued never run.
  ~HeartbeatController();
  HeartbeatController(const HeartbeatController&) = delete;
  HeartbeatController& operator=(const HeartbeatController&) = delete;

  // Asks the worker to record today's heartbeat under the current user agent, unless this
  // app already has one for today, and returns at once. A task whose read or write fails
  // changes nothing, so the next call tries again.
  void LogHeartbeat();

  // Waits until every task handed to the worker before this call has run, at most
  // `timeout_ms` milliseconds. True when they have; false on time-out or after Shutdown.
  bool WaitUntilIdle(int timeout_ms);

  // Stops the worker, waiting for a running task to end; queued and later tasks never
  // run. After this the controller no longer uses the logger or the date provider, so
  // their owner may destroy them while others still hold the controller.
  void Shutdown();

 private:
  void LogHeartbeatTask();

  HeartbeatStorage storage_;
  scheduler::Scheduler scheduler_;
  const DateProvider& date_provider_;
  std::atomic<bool> shut_down_{false};

  // Worker thread only: the date of the last heartbeat this process knows to be on disk.
  std::string last_logged_date_;
};

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_HEARTBEAT_CONTROLLER_H_
