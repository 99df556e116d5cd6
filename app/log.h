#ifndef TERVALA_APP_LOG_H_
#define TERVALA_APP_LOG_H_

#include <cstdarg>

// Lets GCC and clang check the arguments of printf-style functions against their format.
// MinGW builds use the C99 printf family (__USE_MINGW_ANSI_STDIO), so they check for it.
#if defined(__MINGW32__)
#define NIMBUS_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(gnu_printf, format_index, first_argument)))
#elif defined(__GNUC__)
#define NIMBUS_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#else
#define NIMBUS_PRINTF_FORMAT(format_index, first_argument)
#endif

namespace nimbus {

// Message severity. A message passes when its level is at least the current level.
enum LogLevel {
  kLogLevelVerbose = 0,
  kLogLevelDebug = 1,
  kLogLevelInfo = 2,
  kLogLevelWarning = 3,
  kLogLevelError = 4,
  kLogLevelAssert = 5,
};

// A log sink: receives every message that passes the level filter, with the user data given
// to LogSetCallback. The message pointer is valid only during the call.
using LogCallback = void (*)(LogLevel level, const char* message, void* user_data);

// Process-wide log functions. `format` is a printf format string.
void LogDebug(const char* format, ...) NIMBUS_PRINTF_FORMAT(1, 2);
void LogInfo(const char* format, ...) NIMBUS_PRINTF_FORMAT(1, 2);
void LogWarning(const char* format, ...) NIMBUS_PRINTF_FORMAT(1, 2);
void LogError(const char* format, ...) NIMBUS_PRINTF_FORMAT(1, 2);
void LogAssert(const char* format, ...) NIMBUS_PRINTF_FORMAT(1, 2);
void LogMessage(LogLevel level, const char* format, ...) NIMBUS_PRINTF_FORMAT(2, 3);
// Formats the message (cut to 510 characters) and hands it to the sink, under the log lock.
void LogMessageV(LogLevel level, const char* format, va_list args) NIMBUS_PRINTF_FORMAT(2, 0);

void SetLogLevel(LogLevel level);
LogLevel GetLogLevel();

// Installs a sink and its user data; a null callback restores the default sink.
void LogSetCallback(LogCallback callback, void* user_data);
// Returns the current sink and writes its user data through `user_data`.
LogCallback LogGetCallback(void** user_data);

// The default sink: the level prefix and the message on standard output with a line end,
// and the same on the debugger output channel without one. Assert-level messages then end
// the process.
void DefaultLogCallback(LogLevel level, const char* message, void* user_data);

// Returns the prefix written before messages of `level` ("INFO: " and so on).
const char* LogLevelPrefix(LogLevel level);

// Something that logs: a level filter in front of a place where messages are written.
class LoggerBase {
 public:
  virtual ~LoggerBase();
  virtual void SetLogLevel(LogLevel level) = 0;
  virtual LogLevel GetLogLevel() const = 0;
  // Writes a message that has already passed this logger's filter.
  virtual void WriteMessageV(LogLevel level, const char* format, va_list args) const = 0;

  void LogMessageV(LogLevel level, const char* format, va_list args) const
      NIMBUS_PRINTF_FORMAT(3, 0);
  void LogMessage(LogLevel level, const char* format, ...) const NIMBUS_PRINTF_FORMAT(3, 4);
  void LogDebug(const char* format, ...) const NIMBUS_PRINTF_FORMAT(2, 3);
  void LogInfo(const char* format, ...) const NIMBUS_PRINTF_FORMAT(2, 3);
  void LogWarning(const char* format, ...) const NIMBUS_PRINTF_FORMAT(2, 3);
  void LogError(const char* format, ...) const NIMBUS_PRINTF_FORMAT(2, 3);
  void LogAssert(const char* format, ...) const NIMBUS_PRINTF_FORMAT(2, 3);
};

// The logger of the process-wide log facility: its level is the process-wide level.
class SystemLogger : public LoggerBase {
 public:
  void SetLogLevel(LogLevel level) override;
  LogLevel GetLogLevel() const override;
  void WriteMessageV(LogLevel level, const char* format, va_list args) const override
      NIMBUS_PRINTF_FORMAT(3, 0);
};

// The one SystemLogger of the process, parent of every app's logger.
SystemLogger& GetSystemLogger();

// A logger with a level of its own that forwards what passes to its parent, whose filter
// then applies as well. It does not own the parent.
class Logger : public LoggerBase {
 public:
  explicit Logger(const LoggerBase* parent, LogLevel level = kLogLevelVerbose)
      : parent_(parent), level_(level) {}
  void SetLogLevel(LogLevel level) override { level_ = level; }
  LogLevel GetLogLevel() const override { return level_; }
  void WriteMessageV(LogLevel level, const char* format, va_list args) const override
      NIMBUS_PRINTF_FORMAT(3, 0);

 private:
  const LoggerBase* parent_;
  LogLevel level_;
};

}  // namespace nimbus

#endif  // TERVALA_APP_LOG_H_
