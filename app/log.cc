#include "app/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/debug_output.h"
#include "app/mutex.h"

namespace nimbus {

namespace {

constexpr const char* kPrefixes[] = {
    "VERBOSE: ", "DEBUG: ", "INFO: ", "WARNING: ", "ERROR: ", "ASSERT: "};

// The initial values are constants, so logging works from static initialisation on.
LogLevel g_level = kLogLevelInfo;
LogCallback g_callback = DefaultLogCallback;
void* g_callback_user_data = nullptr;
char g_message[512];

// Serialises formatting into g_message and the sink call. Recursive, so a sink may log.
Mutex& LogLock() {
  static Mutex* const lock = new Mutex(Mutex::kModeRecursive);
  return *lock;
}

// Serialises use of the debugger buffer of the default sink.
Mutex& OutputLock() {
  static Mutex* const lock = new Mutex(Mutex::kModeRecursive);
  return *lock;
}
char g_debugger_buffer[1024];

[[maybe_unused]] const bool kLocksCreated = (LogLock(), OutputLock(), true);

}  // namespace

const char* LogLevelPrefix(LogLevel level) {
  if (level < kLogLevelVerbose || level > kLogLevelAssert) return "";
  return kPrefixes[level];
}

void LogMessageV(LogLevel level, const char* format, va_list args) {
  MutexLock lock(LogLock());
  if (level < g_level) return;
  // A count of 511 leaves at most 510 characters and always a terminator.
  vsnprintf(g_message, 511, format, args);
  g_callback(level, g_message, g_callback_user_data);
}

void LogMessage(LogLevel level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogMessageV(level, format, args);
  va_end(args);
}

#define TERVALA_LOG_AT(name, level)    \
  void name(const char* format, ...) { \
    va_list args;                      \
    va_start(args, format);            \
    LogMessageV(level, format, args);  \
    va_end(args);                      \
  }
TERVALA_LOG_AT(LogDebug, kLogLevelDebug)
TERVALA_LOG_AT(LogInfo, kLogLevelInfo)
TERVALA_LOG_AT(LogWarning, kLogLevelWarning)
TERVALA_LOG_AT(LogError, kLogLevelError)
TERVALA_LOG_AT(LogAssert, kLogLevelAssert)
#undef TERVALA_LOG_AT

void SetLogLevel(LogLevel level) { g_level = level; }

LogLevel GetLogLevel() { return g_level; }

void LogSetCallback(LogCallback callback, void* user_data) {
  g_callback_user_data = user_data;
  g_callback = callback != nullptr ? callback : DefaultLogCallback;
}

LogCallback LogGetCallback(void** user_data) {
  if (user_data == nullptr) {
    LogAssert("%s", "callback_data");
    return g_callback;
  }
  *user_data = g_callback_user_data;
  return g_callback;
}

void DefaultLogCallback(LogLevel level, const char* message, void* /*user_data*/) {
  const char* prefix = LogLevelPrefix(level);
  // The message is finished text: it is written as it stands, never used as a format, so a
  // '%' in an app name or a path comes out unchanged.
  fputs(prefix, stdout);
  fputs(message, stdout);
  fputs("\n", stdout);
  {
    MutexLock lock(OutputLock());
    const size_t prefix_length = strlen(prefix);
    memcpy(g_debugger_buffer, prefix, prefix_length);
    const size_t room = sizeof(g_debugger_buffer) - 1 - prefix_length;
    const size_t message_length = strnlen(message, room);
    memcpy(g_debugger_buffer + prefix_length, message, message_length);
    g_debugger_buffer[prefix_length + message_length] = '\0';
    WriteDebugOutput(g_debugger_buffer);
  }
  if (level == kLogLevelAssert) {
    // Buffered output would be lost by abort(); the assertion text is the one line that
    // must not be.
    fflush(stdout);
    abort();
  }
}

LoggerBase::~LoggerBase() = default;

void LoggerBase::LogMessageV(LogLevel level, const char* format, va_list args) const {
  if (level < GetLogLevel()) return;
  WriteMessageV(level, format, args);
}

void LoggerBase::LogMessage(LogLevel level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  LogMessageV(level, format, args);
  va_end(args);
}

#define TERVALA_LOGGER_AT(name, level)                   \
  void LoggerBase::name(const char* format, ...) const { \
    va_list args;                                        \
    va_start(args, format);                              \
    LogMessageV(level, format, args);                    \
    va_end(args);                                        \
  }
TERVALA_LOGGER_AT(LogDebug, kLogLevelDebug)
TERVALA_LOGGER_AT(LogInfo, kLogLevelInfo)
TERVALA_LOGGER_AT(LogWarning, kLogLevelWarning)
TERVALA_LOGGER_AT(LogError, kLogLevelError)
TERVALA_LOGGER_AT(LogAssert, kLogLevelAssert)
#undef TERVALA_LOGGER_AT

void SystemLogger::SetLogLevel(LogLevel level) { ::nimbus::SetLogLevel(level); }

LogLevel SystemLogger::GetLogLevel() const { return ::nimbus::GetLogLevel(); }

void SystemLogger::WriteMessageV(LogLevel level, const char* format, va_list args) const {
  ::nimbus::LogMessageV(level, format, args);
}

SystemLogger& GetSystemLogger() {
  // Never destroyed: heartbeat workers log through it while the process ends, after the
  // static objects are gone.
  static SystemLogger* const logger = new SystemLogger();
  return *logger;
}

void Logger::WriteMessageV(LogLevel level, const char* format, va_list args) const {
  parent_->LogMessageV(level, format, args);
}

}  // namespace nimbus
