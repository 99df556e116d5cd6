#ifndef TERVALA_APP_TESTS_CAPTURED_LOG_H_
#define TERVALA_APP_TESTS_CAPTURED_LOG_H_

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/log.h"

namespace nimbus {

// Collects the log messages of a test, from any thread, for as long as it lives; assertion
// messages are collected too instead of ending the process. Restores the default sink and
// the previous level when destroyed. Create it before the threads that log.
class CapturedLog {
 public:
  explicit CapturedLog(LogLevel level = kLogLevelInfo) : saved_level_(GetLogLevel()) {
    SetLogLevel(level);
    LogSetCallback(&CapturedLog::Sink, this);
  }
  ~CapturedLog() {
    LogSetCallback(nullptr, nullptr);
    SetLogLevel(saved_level_);
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  std::vector<std::pair<LogLevel, std::string>> Messages() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return messages_;
  }

  // How many messages of `level` read exactly `text`.
  int Count(LogLevel level, const std::string& text) const {
    int count = 0;
    for (const auto& [message_level, message] : Messages()) {
      if (message_level == level && message == text) ++count;
    }
    return count;
  }

  // How many messages are at `level` or above.
  int CountAtLeast(LogLevel level) const {
    int count = 0;
    for (const auto& entry : Messages()) {
      if (entry.first >= level) ++count;
    }
    return count;
  }

  void Clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    messages_.clear();
  }

 private:
  static void Sink(LogLevel level, const char* message, void* user_data) {
    auto* self = static_cast<CapturedLog*>(user_data);
    std::lock_guard<std::mutex> guard(self->mutex_);
    self->messages_.emplace_back(level, message);
  }

  LogLevel saved_level_;
  mutable std::mutex mutex_;
  std::vector<std::pair<LogLevel, std::string>> messages_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_TESTS_CAPTURED_LOG_H_
