#include "app/heartbeat/heartbeat_controller.h"

#include <memory>
#include <vector>

#include "app/app.h"
#include "app/semaphore.h"

namespace nimbus {
namespace heartbeat {
namespace {

// Dates kept per user agent; older ones are dropped.
constexpr size_t kMaxDatesPerAgent = 30;

}  // namespace

HeartbeatController::HeartbeatController(const std::string& heartbeat_key, LoggerBase* logger,
                                         const DateProvider& date_provider)
    : storage_(heartbeat_key, logger), date_provider_(date_provider) {}

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
  return done->TimedWait(timeout_ms);
}

void HeartbeatController::Shutdown() {
  shut_down_.store(true);
  scheduler_.Shutdown();
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
  if (storage_.Write(record)) last_logged_date_ = today;
}

}  // namespace heartbeat
}  // namespace nimbus
