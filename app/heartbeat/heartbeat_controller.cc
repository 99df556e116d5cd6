#include "app/heartbeat/heartbeat_controller.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/heartbeat/heartbeat_payload.h"
#include "app/heartbeat/heartbeat_storage.h"
#include "app/scheduler.h"
#include "app/semaphore.h"

namespace nimbus {
namespace heartbeat {
namespace {

// Dates kept per user agent; older ones are dropped.
constexpr size_t kMaxDatesPerAgent = 30;
// Each request function goes to the worker at most this often.
constexpr int64_t kMinSecondsBetweenRequests = 30;
// How long a request waits for the worker.
constexpr int kRequestTimeoutMs = 300;
// A failed heartbeat write is tried again after this wait, doubled after each failure up
// to the longest one.
constexpr uint64_t kFirstRetryDelayMs = 5000;
constexpr uint64_t kLongestRetryDelayMs = 10 * 60 * 1000;

int64_t CalendarSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

// Claims the right to a request at `now`: false when the last one was less than 30 seconds
// ago. A clock that went back counts as time passed, so it cannot block requests for long.
bool ClaimRequest(std::atomic<int64_t>& last_request_time, int64_t now) {
  int64_t last = last_request_time.load();
  do {
    if (now >= last && now - last < kMinSecondsBetweenRequests) return false;
  } while (!last_request_time.compare_exchange_weak(last, now));
  return true;
}

// The lock of the heartbeat file at `path`, shared by every controller of this process
// whose key names that file. The table is never destroyed: workers left running at exit
// may still look their lock up.
std::shared_ptr<std::mutex> FileLockFor(const std::wstring& path) {
  static std::mutex table_mutex;
  static auto* table = new std::map<std::wstring, std::weak_ptr<std::mutex>>();
  std::lock_guard<std::mutex> guard(table_mutex);
  for (auto it = table->begin(); it != table->end();) {
    it = it->second.expired() ? table->erase(it) : std::next(it);
  }
  std::weak_ptr<std::mutex>& entry = (*table)[path];
  std::shared_ptr<std::mutex> lock = entry.lock();
  if (lock == nullptr) {
    lock = std::make_shared<std::mutex>();
    entry = lock;
  }
  return lock;
}

// The logger the storage and the tasks write to: the lent one until the controller cuts
// it off, the process-wide one after. Every message passes here; the target filters.
class LentLogger : public LoggerBase {
 public:
  explicit LentLogger(LoggerBase* target) : target_(target) {}
  void SetLogLevel(LogLevel) override {}
  LogLevel GetLogLevel() const override { return kLogLevelVerbose; }
  void WriteMessageV(LogLevel level, const char* format, va_list args) const override
      NIMBUS_PRINTF_FORMAT(3, 0);
  // From now on messages go to the process-wide logger; waits for one being written.
  void CutOff() {
    std::lock_guard<std::mutex> guard(mutex_);
    target_ = &GetSystemLogger();
  }

 private:
  mutable std::mutex mutex_;
  LoggerBase* target_;
};

void LentLogger::WriteMessageV(LogLevel level, const char* format, va_list args) const {
  std::lock_guard<std::mutex> guard(mutex_);
  target_->LogMessageV(level, format, args);
}

}  // namespace

// What a request function and its task share. Neither side ever waits for the other beyond
// the request's time-out: the caller may give up, and the task then leaves the file and the
// dates alone or, when it had already committed its change, keeps its result for the next
// request.
struct HeartbeatController::PendingRequest {
  enum State { kWaiting, kAbandoned, kAnswered };
  Semaphore done{0};
  // Leaves kWaiting once: to kAbandoned by the caller, or to kAnswered by the task once
  // `result` is set.
  std::atomic<int> state{kWaiting};
  std::string result;

  bool abandoned() const { return state.load() == kAbandoned; }
};

// Everything the tasks touch. Tasks hold it only while they run (queued ones hold a weak
// reference), so it goes with the controller unless a task is running; a task that
// outlives the controller releases it last, on the worker.
struct HeartbeatController::Core : std::enable_shared_from_this<Core> {
  Core(const std::string& heartbeat_key, LoggerBase* lent_logger, const DateProvider& dates)
      : logger(lent_logger != nullptr ? lent_logger : &GetSystemLogger()),
        storage(heartbeat_key, &logger),
        file_lock(FileLockFor(storage.filename())),
        date_provider(&dates) {}

  // Runs a task of the controller on the worker: nothing once stopped, and one task at a
  // time per file within the process.
  template <typename Task>
  static std::function<void()> Wrap(const std::shared_ptr<Core>& core, Task task) {
    return [weak = std::weak_ptr<Core>(core), task = std::move(task)]() mutable {
      const std::shared_ptr<Core> self = weak.lock();
      if (self == nullptr || self->stopped.load()) return;
      std::lock_guard<std::mutex> file(*self->file_lock);
      if (self->stopped.load()) return;
      if (!self->cleaned) {
        // Here rather than at construction: the folder may hold many entries, and the
        // constructor runs on the thread that creates the app.
        self->cleaned = true;
        self->storage.RemoveStaleTemporaryFiles();
      }
      task(*self);
    };
  }

  // Today's date; empty once the date provider was taken back.
  std::string Today() {
    std::lock_guard<std::mutex> guard(lent_mutex);
    return date_provider != nullptr ? date_provider->GetDate() : std::string();
  }

  // Stops the tasks and gives back what was lent; waits for a date or a message being read
  // or written.
  void Stop() {
    stopped.store(true);
    {
      std::lock_guard<std::mutex> guard(lent_mutex);
      date_provider = nullptr;
    }
    logger.CutOff();
  }

  void LogHeartbeatTask();
  // Schedules LogHeartbeatTask once more after a failed write, unless one is due already.
  void ScheduleRetry();
  void PayloadTask(PendingRequest& request);
  void TodaysAgentTask(PendingRequest& request);
  // Hands a task's result to its caller, or to `unclaimed` when the caller has given up.
  static void Answer(PendingRequest& request, std::string result, std::string* unclaimed);

  LentLogger logger;
  HeartbeatStorage storage;
  const std::shared_ptr<std::mutex> file_lock;
  std::mutex lent_mutex;
  const DateProvider* date_provider;  // Guarded by lent_mutex.
  std::atomic<bool> stopped{false};

  // Worker thread only, under the file lock.
  bool cleaned = false;
  // The date of the last heartbeat this process knows to be on disk.
  std::string last_logged_date;
  // The wait before the next retry of a failed write; 0 when the last write succeeded.
  uint64_t retry_delay_ms = 0;
  bool retry_scheduled = false;
  // The date on which the stored heartbeats were last handed out as a payload.
  std::string last_payload_date;
  // The date on which today's heartbeat was last handed out as a user agent.
  std::string last_agent_date;
  // Results taken from the file for a caller that had stopped waiting; the next request of
  // the same kind gets them.
  std::string unclaimed_payload;
  std::string unclaimed_agent;

  // Last: it goes first, so no task runs while the rest is destroyed.
  scheduler::Scheduler scheduler;
};

HeartbeatController::HeartbeatController(const std::string& heartbeat_key, LoggerBase* logger,
                                         const DateProvider& date_provider, Clock clock)
    : core_(std::make_shared<Core>(heartbeat_key, logger, date_provider)),
      clock_(clock ? std::move(clock) : Clock(&CalendarSeconds)) {}

HeartbeatController::~HeartbeatController() {
  // Before the core may go: a task must not run while it is destroyed.
  Shutdown();
}

void HeartbeatController::LogHeartbeat() {
  core_->scheduler.Schedule(Core::Wrap(core_, [](Core& core) { core.LogHeartbeatTask(); }));
}

bool HeartbeatController::WaitUntilIdle(int timeout_ms) {
  if (core_->stopped.load()) return false;
  // Shared, because the task may post after this call has given up waiting.
  auto done = std::make_shared<Semaphore>(0);
  core_->scheduler.Schedule([done] { done->Post(); });
  // Without a worker (the process could start no thread for it) nothing will run.
  if (!core_->scheduler.HasWorker()) return false;
  return done->TimedWait(timeout_ms);
}

void HeartbeatController::Shutdown() {
  core_->Stop();
  // A worker left to a task on a stuck disk is never waited for.
  if (!abandoned_.load()) core_->scheduler.Shutdown();
}

bool HeartbeatController::ShutdownWithin(int timeout_ms) {
  const bool idle = WaitUntilIdle(timeout_ms);
  if (!idle && core_->scheduler.HasWorker() && !core_->stopped.load()) {
    // A task is still running (or waits behind one): it keeps the core until it ends.
    abandoned_.store(true);
  }
  Shutdown();
  return idle;
}

bool WaitUntilAllIdle(const std::vector<std::shared_ptr<HeartbeatController>>& controllers,
                      int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  bool all_idle = true;
  for (const auto& controller : controllers) {
    if (controller == nullptr) continue;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    all_idle = controller->WaitUntilIdle(static_cast<int>(std::max<int64_t>(left, 0))) && all_idle;
  }
  return all_idle;
}

std::string HeartbeatController::TakeStoredHeartbeatsPayload() {
  return Request(last_payload_request_time_, &Core::PayloadTask);
}

std::string HeartbeatController::TakeTodaysHeartbeatAgent() {
  return Request(last_agent_request_time_, &Core::TodaysAgentTask);
}

std::string HeartbeatController::Request(std::atomic<int64_t>& last_request_time,
                                         void (Core::*task)(PendingRequest&)) {
  if (core_->stopped.load()) return std::string();
  if (!ClaimRequest(last_request_time, clock_())) return std::string();
  // Shared with the task, which may finish after this call has returned.
  auto request = std::make_shared<PendingRequest>();
  core_->scheduler.Schedule(Core::Wrap(core_, [task, request](Core& core) {
    (core.*task)(*request);
    request->done.Post();
  }));
  // Without a worker (it could not be started) nothing will answer: no wait.
  const bool answered = core_->scheduler.HasWorker() && request->done.TimedWait(kRequestTimeoutMs);
  int state = PendingRequest::kWaiting;
  if (!answered && request->state.compare_exchange_strong(state, PendingRequest::kAbandoned)) {
    return std::string();
  }
  // Answered, or the task handed its result over just as the wait ended.
  return request->state.load() == PendingRequest::kAnswered ? request->result : std::string();
}

void HeartbeatController::Core::Answer(PendingRequest& request, std::string result,
                                       std::string* unclaimed) {
  request.result = std::move(result);
  int state = PendingRequest::kWaiting;
  if (request.state.compare_exchange_strong(state, PendingRequest::kAnswered)) return;
  // The caller is gone, but the file has changed already: the result goes to the next
  // request.
  *unclaimed = std::move(request.result);
}

void HeartbeatController::Core::PayloadTask(PendingRequest& request) {
  if (!unclaimed_payload.empty()) {
    Answer(request, std::exchange(unclaimed_payload, std::string()), &unclaimed_payload);
    return;
  }
  const std::string today = Today();
  if (today.empty() || today == last_payload_date) return;
  LoggedHeartbeats record;
  if (!storage.ReadTo(&record) || record.heartbeats.empty()) return;

  // The agents go in order while the payload stays within its limit; the rest stay stored
  // for the next request. An agent too large to fit even alone could never be sent and
  // would hold back every later payload, so it is dropped.
  LoggedHeartbeats sent;
  LoggedHeartbeats kept;
  kept.last_logged_date = sent.last_logged_date = record.last_logged_date;
  std::string payload;
  for (auto& [agent, dates] : record.heartbeats) {
    if (!kept.heartbeats.empty()) {
      kept.heartbeats.emplace(agent, std::move(dates));
      continue;
    }
    auto added = sent.heartbeats.emplace(agent, dates).first;
    std::string candidate = CompressAndEncode(BuildHeartbeatsJson(sent));
    if (!candidate.empty()) {
      payload = std::move(candidate);
      continue;
    }
    sent.heartbeats.erase(added);
    if (sent.heartbeats.empty()) {
      logger.LogWarning("Dropped the heartbeats of a user agent too long to send (%zu bytes).",
                        agent.size());
      continue;
    }
    kept.heartbeats.emplace(agent, std::move(dates));
  }

  if (request.abandoned()) return;
  if (!storage.Write(kept)) return;
  // Once everything is out, nothing more is sent today.
  if (kept.heartbeats.empty()) last_payload_date = today;
  Answer(request, std::move(payload), &unclaimed_payload);
}

void HeartbeatController::Core::TodaysAgentTask(PendingRequest& request) {
  if (!unclaimed_agent.empty()) {
    Answer(request, std::exchange(unclaimed_agent, std::string()), &unclaimed_agent);
    return;
  }
  const std::string today = Today();
  if (today.empty() || today == last_payload_date || today == last_agent_date) return;
  LoggedHeartbeats record;
  if (!storage.ReadTo(&record) || record.heartbeats.empty()) return;

  std::string agent;
  bool found = false;
  for (auto& [candidate, dates] : record.heartbeats) {
    auto it = std::find(dates.begin(), dates.end(), today);
    if (it == dates.end()) continue;
    dates.erase(it);
    agent = candidate;
    found = true;
    break;
  }
  if (!found || agent.empty()) return;

  if (request.abandoned()) return;
  // An agent left without dates is written as an entry without dates, which reads as no
  // entry at all.
  if (!storage.Write(record)) return;
  last_agent_date = today;
  Answer(request, std::move(agent), &unclaimed_agent);
}

void HeartbeatController::Core::LogHeartbeatTask() {
  // A copy: another thread may change the library registry (and free its text) meanwhile.
  const std::string user_agent = App::GetUserAgentCopy();
  const std::string today = Today();
  if (today.empty()) return;
  if (!last_logged_date.empty() && last_logged_date >= today) return;

  LoggedHeartbeats record;
  if (!storage.ReadTo(&record)) return;
  if (!record.last_logged_date.empty() && record.last_logged_date >= today) {
    // Another process (or an earlier run) logged today already.
    last_logged_date = record.last_logged_date;
    return;
  }

  record.last_logged_date = today;
  std::vector<std::string>& dates = record.heartbeats[user_agent];
  dates.push_back(today);
  // Normally one date goes; a list that came longer from elsewhere is cut down too.
  if (dates.size() > kMaxDatesPerAgent) {
    dates.erase(dates.begin(), dates.end() - kMaxDatesPerAgent);
  }
  if (storage.Write(record)) {
    last_logged_date = today;
    retry_delay_ms = 0;
    return;
  }
  ScheduleRetry();
}

void HeartbeatController::Core::ScheduleRetry() {
  if (retry_scheduled) return;
  retry_delay_ms =
      retry_delay_ms == 0 ? kFirstRetryDelayMs : std::min(retry_delay_ms * 2, kLongestRetryDelayMs);
  retry_scheduled = true;
  scheduler.Schedule(Wrap(shared_from_this(),
                          [](Core& core) {
                            core.retry_scheduled = false;
                            core.LogHeartbeatTask();
                          }),
                     retry_delay_ms);
}

}  // namespace heartbeat
}  // namespace nimbus
