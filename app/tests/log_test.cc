#include "app/log.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/debug_output.h"

namespace nimbus {
namespace {

struct Captured {
  std::vector<std::pair<LogLevel, std::string>> messages;
};

void CaptureSink(LogLevel level, const char* message, void* user_data) {
  static_cast<Captured*>(user_data)->messages.emplace_back(level, message);
}

void CaptureDebugOutput(const char* text, void* user_data) {
  static_cast<std::vector<std::string>*>(user_data)->push_back(text);
}

// Each test starts from the process defaults and leaves them as it found them.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLogLevel(kLogLevelInfo);
    LogSetCallback(nullptr, nullptr);
  }
  void TearDown() override {
    SetLogLevel(kLogLevelInfo);
    LogSetCallback(nullptr, nullptr);
    SetDebugOutputHook(nullptr, nullptr);
  }
  void Capture() { LogSetCallback(CaptureSink, &captured_); }

  Captured captured_;
};

TEST_F(LogTest, FiltersByProcessLevel) {
  Capture();
  LogDebug("dropped %d", 1);
  LogInfo("kept %d", 2);
  ASSERT_EQ(captured_.messages.size(), 1u);
  EXPECT_EQ(captured_.messages[0].first, kLogLevelInfo);
  EXPECT_EQ(captured_.messages[0].second, "kept 2");

  captured_.messages.clear();
  SetLogLevel(kLogLevelVerbose);
  LogMessage(kLogLevelVerbose, "v");
  LogDebug("d");
  LogInfo("i");
  LogWarning("w");
  LogError("e");
  EXPECT_EQ(captured_.messages.size(), 5u);

  captured_.messages.clear();
  SetLogLevel(kLogLevelAssert);
  LogError("e");
  LogAssert("a");
  ASSERT_EQ(captured_.messages.size(), 1u);
  EXPECT_EQ(captured_.messages[0].first, kLogLevelAssert);
  EXPECT_EQ(GetLogLevel(), kLogLevelAssert);
}

TEST_F(LogTest, CutsLongMessagesAt510Characters) {
  Capture();
  const std::string long_text(600, 'x');
  LogInfo("%s", long_text.c_str());
  ASSERT_EQ(captured_.messages.size(), 1u);
  EXPECT_EQ(captured_.messages[0].second, std::string(510, 'x'));
}

TEST_F(LogTest, SinkAndUserDataRoundTrip) {
  int data = 0;
  LogSetCallback(CaptureSink, &data);
  void* user_data = nullptr;
  EXPECT_EQ(LogGetCallback(&user_data), &CaptureSink);
  EXPECT_EQ(user_data, &data);

  // A null sink restores the default one but still stores the user data.
  int other = 0;
  LogSetCallback(nullptr, &other);
  EXPECT_EQ(LogGetCallback(&user_data), &DefaultLogCallback);
  EXPECT_EQ(user_data, &other);
}

TEST_F(LogTest, GetCallbackWithoutOutputIsAnAssertion) {
  Capture();
  EXPECT_EQ(LogGetCallback(nullptr), &CaptureSink);
  ASSERT_EQ(captured_.messages.size(), 1u);
  EXPECT_EQ(captured_.messages[0].first, kLogLevelAssert);
  EXPECT_EQ(captured_.messages[0].second, "callback_data");
}

TEST_F(LogTest, DefaultSinkWritesPrefixToBothOutputs) {
  std::vector<std::string> debugger;
  SetDebugOutputHook(CaptureDebugOutput, &debugger);
  testing::internal::CaptureStdout();
  LogInfo("hello %s", "world");
  LogDebug("not shown");
  LogWarning("careful");
  LogError("broken");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "INFO: hello world\nWARNING: careful\nERROR: broken\n");
  EXPECT_EQ(debugger,
            (std::vector<std::string>{"INFO: hello world", "WARNING: careful", "ERROR: broken"}));

  SetLogLevel(kLogLevelVerbose);
  debugger.clear();
  testing::internal::CaptureStdout();
  LogMessage(kLogLevelVerbose, "v");
  LogDebug("d");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "VERBOSE: v\nDEBUG: d\n");
  EXPECT_EQ(debugger, (std::vector<std::string>{"VERBOSE: v", "DEBUG: d"}));
}

TEST_F(LogTest, DefaultSinkWritesPercentSignsVerbatim) {
  std::vector<std::string> debugger;
  SetDebugOutputHook(CaptureDebugOutput, &debugger);
  testing::internal::CaptureStdout();
  LogInfo("%s", "%s%n%d");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "INFO: %s%n%d\n");
  EXPECT_EQ(debugger, std::vector<std::string>{"INFO: %s%n%d"});
}

TEST_F(LogTest, DebuggerCopyFitsIn1023Bytes) {
  std::vector<std::string> debugger;
  SetDebugOutputHook(CaptureDebugOutput, &debugger);
  const std::string text(2000, 'y');
  testing::internal::CaptureStdout();
  DefaultLogCallback(kLogLevelWarning, text.c_str(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "WARNING: " + text + "\n");
  ASSERT_EQ(debugger.size(), 1u);
  EXPECT_EQ(debugger[0].size(), 1023u);
  EXPECT_EQ(debugger[0], "WARNING: " + std::string(1023 - 9, 'y'));
}

TEST_F(LogTest, AppLoggerForwardsThroughItsParentsFilter) {
  Capture();
  Logger logger(&GetSystemLogger(), kLogLevelVerbose);
  logger.LogDebug("debug %d", 1);  // Passes the app logger, dropped by the process level.
  EXPECT_TRUE(captured_.messages.empty());

  GetSystemLogger().SetLogLevel(kLogLevelDebug);
  EXPECT_EQ(GetLogLevel(), kLogLevelDebug);
  logger.LogDebug("debug %d", 2);
  ASSERT_EQ(captured_.messages.size(), 1u);
  EXPECT_EQ(captured_.messages[0].second, "debug 2");

  // The app logger's own level filters before the parent sees anything.
  logger.SetLogLevel(kLogLevelError);
  logger.LogWarning("warning");
  logger.LogError("error");
  ASSERT_EQ(captured_.messages.size(), 2u);
  EXPECT_EQ(captured_.messages[1], std::make_pair(kLogLevelError, std::string("error")));
}

TEST_F(LogTest, SinkMayLogAgainOnItsThread) {
  static Captured nested;
  nested.messages.clear();
  LogSetCallback(
      [](LogLevel level, const char* message, void*) {
        nested.messages.emplace_back(level, message);
        if (level == kLogLevelError) LogInfo("from the sink");
      },
      nullptr);
  LogError("outer");
  ASSERT_EQ(nested.messages.size(), 2u);
  EXPECT_EQ(nested.messages[1].second, "from the sink");
}

void WriteDebugOutputToStderr(const char* text, void*) { fprintf(stderr, "[debugger]%s|", text); }

TEST(LogDeathTest, AssertUnderDefaultSinkAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        LogSetCallback(nullptr, nullptr);
        SetDebugOutputHook(WriteDebugOutputToStderr, nullptr);
        // Standard output joins standard error, where the death test looks, unbuffered so
        // the two outputs arrive in the order they are written.
        dup2(2, 1);
        setvbuf(stdout, nullptr, _IONBF, 0);
        LogAssert("%s", "app != nullptr");
      },
      "ASSERT: app != nullptr\n\\[debugger\\]ASSERT: app != nullptr\\|");
}

}  // namespace
}  // namespace nimbus
