#include "app/heartbeat/heartbeat_controller.h"

#include <algorithm>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/heartbeat/heartbeat_payload.h"
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

HeartbeatController::HeartbeatController(const std::string& heartbeat_key, LoggerBase* logger,
                                         const DateProvider& date_provider, Clock clock)
    : storage_(heartbeat_key, logger),
      logger_(logger != nullptr ? logger : &GetSystemLogger()),
      date_provider_(date_provider),
      clock_(clock ? std::move(clock) : Clock(&CalendarSeconds)) {}

HeartbeatController::~HeartbeatController() {
  // Before any member goes: the tasks use them all.
  Shutdown();
}

void HeartbeatController::LogHeartbeat() {
  scheduler_.Schedule([this] { LogHeartbeatTask(); });
}

bool HeartbeatController::WaitUntilIdle(int timeout_ms) {
  if (shut_down_.load()) return false;
  // Shared, because the task may post after this call has given up waiting.
  auto done = std::make_shared<Semaphore>(0);
  scheduler_.Schedule([done] { done->Post(); });
  // Without a worker (the process could start no thread for it) nothing will run.
  if (!scheduler_.HasWorker()) return false;
  return done->TimedWait(timeout_ms);
}

void HeartbeatController::Shutdown() {
  shut_down_.store(true);
  scheduler_.Shutdown();
}

std::string HeartbeatController::TakeStoredHeartbeatsPayload() {
  return Request(last_payload_request_time_, &HeartbeatController::PayloadTask);
}

std::string HeartbeatController::TakeTodaysHeartbeatAgent() {
  return Request(last_agent_request_time_, &HeartbeatController::TodaysAgentTask);
}

std::string HeartbeatController::Request(std::atomic<int64_t>& last_request_time,
                                         void (HeartbeatController::*task)(PendingRequest&)) {
  if (shut_down_.load()) return std::string();
  if (!ClaimRequest(last_request_time, clock_())) return std::string();
  // Shared with the task, which may finish after this call has returned.
  auto request = std::make_shared<PendingRequest>();
  scheduler_.Schedule([this, task, request] {
    (this->*task)(*request);
    request->done.Post();
  });
  // Without a worker (it could not be started) nothing will answer: no wait.
  const bool answered = scheduler_.HasWorker() && request->done.TimedWait(kRequestTimeoutMs);
  int state = PendingRequest::kWaiting;
  if (!answered && request->state.compare_exchange_strong(state, PendingRequest::kAbandoned)) {
    return std::string();
  }
  // Answered, or the task handed its result over just as the wait ended.
  return request->state.load() == PendingRequest::kAnswered ? request->result : std::string();
}

void HeartbeatController::Answer(PendingRequest& request, std::string result,
                                 std::string* unclaimed) {
  request.result = std::move(result);
  int state = PendingRequest::kWaiting;
  if (request.state.compare_exchange_strong(state, PendingRequest::kAnswered)) return;
  // The caller is gone, but the file has changed already: the result goes to the next
  // request.
  *unclaimed = std::move(request.result);
}

void HeartbeatController::PayloadTask(PendingRequest& request) {
  if (!unclaimed_payload_.empty()) {
    Answer(request, std::exchange(unclaimed_payload_, std::string()), &unclaimed_payload_);
    return;
  }
  const std::string today = date_provider_.GetDate();
  if (today.empty() || today == last_payload_date_) return;
  LoggedHeartbeats record;
  if (!storage_.ReadTo(&record) || record.heartbeats.empty()) return;

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
      logger_->LogWarning("Dropped the heartbeats of a user agent too long to send (%zu bytes).",
                          agent.size());
      continue;
    }
    kept.heartbeats.emplace(agent, std::move(dates));
  }

  if (request.abandoned()) return;
  if (!storage_.Write(kept)) return;
  // Once everything is out, nothing more is sent today.
  if (kept.heartbeats.empty()) last_payload_date_ = today;
  Answer(request, std::move(payload), &unclaimed_payload_);
}

void HeartbeatController::TodaysAgentTask(PendingRequest& request) {
  if (!unclaimed_agent_.empty()) {
    Answer(request, std::exchange(unclaimed_agent_, std::string()), &unclaimed_agent_);
    return;
  }
  const std::string today = date_provider_.GetDate();
  if (today.empty() || today == last_payload_date_ || today == last_agent_date_) return;
  LoggedHeartbeats record;
  if (!storage_.ReadTo(&record) || record.heartbeats.empty()) return;

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
  if (!storage_.Write(record)) return;
  last_agent_date_ = today;
  Answer(request, std::move(agent), &unclaimed_agent_);
}

void HeartbeatController::LogHeartbeatTask() {
  // A copy: another thread may change the library registry (and free its text) meanwhile.
  const std::string user_agent = App::GetUserAgentCopy();
  const std::string today = date_provider_.GetDate();
  if (today.empty()) return;
  if (!last_logged_date_.empty() && last_logged_date_ >= today) return;

  LoggedHeartbeats record;
  if (!storage_.ReadTo(&record)) return;
  if (!record.last_logged_date.empty() && record.last_logged_date >= today) {
    // Another process (or an earlier run) logged today already.
    last_logged_date_ = record.last_logged_date;
    return;
  }

  record.last_logged_date = today;
  std::vector<std::string>& dates = record.heartbeats[user_agent];
  dates.push_back(today);
  // Normally one date goes; a list that came longer from elsewhere is cut down too.
  if (dates.size() > kMaxDatesPerAgent) {
    dates.erase(dates.begin(), dates.end() - kMaxDatesPerAgent);
  }
  if (storage_.Write(record)) {
    last_logged_date_ = today;
    retry_delay_ms_ = 0;
    return;
  }
  ScheduleRetry();
}

void HeartbeatController::ScheduleRetry() {
  if (retry_scheduled_) return;
  retry_delay_ms_ = retry_delay_ms_ == 0 ? kFirstRetryDelayMs
                                         : std::min(retry_delay_ms_ * 2, kLongestRetryDelayMs);
  retry_scheduled_ = true;
  scheduler_.Schedule(
      [this] {
        retry_scheduled_ = false;
        LogHeartbeatTask();
      },
      retry_delay_ms_);
}

}  // namespace heartbeat
}  // namespace nimbus
