#include "app/heartbeat/heartbeat_payload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "app/heartbeat/base64.h"
#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/tests/heartbeat_file_test.h"
#include "app/heartbeat/tests/heartbeat_request_test.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "app/heartbeat/tests/tool_runner.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::HeartbeatRequestTest;
using testing::kAgent;
using testing::kWaitMs;
using testing::Record;

bool IsWebSafeUnpadded(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
  });
}

TEST(HeartbeatPayloadTest, BuildsTheJsonOfTheRecord) {
  EXPECT_EQ(BuildHeartbeatsJson(Record("2025-01-02", {{"A", {"2025-01-01", "2025-01-02"}}})),
            R"({"heartbeats":[{"agent":"A","dates":["2025-01-01","2025-01-02"]}],"version":"2"})");
  EXPECT_EQ(BuildHeartbeatsJson(LoggedHeartbeats()), R"({"heartbeats":[],"version":"2"})");
  // Agents in byte order, long agents, and text that needs escaping.
  const std::string long_agent =
      "nimbus-cpp/13.12.0 nimbus-cpp-arch/x86_64 vela-nimbus-core/4.15.0";
  EXPECT_EQ(
      BuildHeartbeatsJson(Record("", {{"b\"\\", {"d"}}, {long_agent, {}}, {"B", {"x", "y"}}})),
      R"({"heartbeats":[{"agent":"B","dates":["x","y"]},{"agent":"b\"\\","dates":["d"]},)"
      R"({"agent":")" +
          long_agent + R"(","dates":[]}],"version":"2"})");
}

TEST(HeartbeatPayloadTest, PayloadsRoundTripAndAreWebSafe) {
  const std::string short_text = "hello, heartbeat";
  const std::string payload = CompressAndEncode(short_text);
  EXPECT_TRUE(IsWebSafeUnpadded(payload)) << payload;
  EXPECT_EQ(DecodeAndUncompress(payload), short_text);

  // A full record compresses well; it still decodes.
  LoggedHeartbeats full;
  for (const char* agent : {"nimbus-cpp/13.12.0 a/1", "nimbus-cpp/13.12.0 b/2"}) {
    for (int day = 1; day <= 30; ++day) {
      full.heartbeats[agent].push_back("2025-01-" + std::string(day < 10 ? "0" : "") +
                                       std::to_string(day));
    }
  }
  const std::string json = BuildHeartbeatsJson(full);
  const std::string full_payload = CompressAndEncode(json);
  ASSERT_FALSE(full_payload.empty());
  EXPECT_LE(full_payload.size(), kMaxPayloadLength);
  EXPECT_LT(full_payload.size(), json.size() / 2);
  EXPECT_EQ(DecodeAndUncompress(full_payload), json);

  // The standard alphabet and padding are accepted too, and the system's gzip reads it.
  std::string compressed;
  ASSERT_TRUE(Base64Decode(payload, &compressed));
  std::string padded;
  ASSERT_TRUE(Base64EncodeWithPadding(compressed, &padded));
  EXPECT_EQ(DecodeAndUncompress(padded), short_text);
  if (test_tools::HaveTool("gzip")) {
    EXPECT_EQ(test_tools::RunTool("gzip -dc", compressed), short_text);
  }

  // An empty text is a valid payload, told apart from a failure by the checked form.
  std::string text = "unchanged";
  ASSERT_TRUE(DecodeAndUncompress(CompressAndEncode(""), &text));
  EXPECT_EQ(text, "");
}

TEST(HeartbeatPayloadTest, RefusesWhatItCannotCarry) {
  // Random bytes do not compress: their payload would exceed 1024 characters.
  std::mt19937 random(7);
  std::string noise(1000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  EXPECT_EQ(CompressAndEncode(noise), "");
  EXPECT_FALSE(CompressAndEncode(noise.substr(0, 700)).empty());

  std::string text = "unchanged";
  const std::string payload = CompressAndEncode("some text");
  for (const std::string& bad :
       {std::string(), std::string("not base64!"), std::string("aGVsbG8"),  // base64 of "hello"
        payload.substr(0, payload.size() - 4), payload + "AAAA"}) {
    EXPECT_FALSE(DecodeAndUncompress(bad, &text)) << bad;
    EXPECT_EQ(DecodeAndUncompress(bad), "") << bad;
  }
  EXPECT_EQ(text, "unchanged");
}

TEST_F(HeartbeatRequestTest, ThePayloadTakesTheStoredHeartbeats) {
  Store(Record("2024-12-31", {{"old/1", {"2024-12-30", "2024-12-31"}}}));
  LogAndWait();
  const LoggedHeartbeats before = Stored();
  ASSERT_EQ(before.heartbeats.size(), 2u);

  const std::string payload = controller_.TakeStoredHeartbeatsPayload();
  ASSERT_FALSE(payload.empty());
  EXPECT_TRUE(IsWebSafeUnpadded(payload)) << payload;
  EXPECT_LE(payload.size(), kMaxPayloadLength);
  EXPECT_EQ(DecodeAndUncompress(payload), BuildHeartbeatsJson(before));
  EXPECT_EQ(Stored(), Record("2025-01-01", {}));

  // Within 30 seconds nothing is asked; after them, the same day gives nothing without
  // reading the file.
  Store(before);
  Advance(29);
  EXPECT_EQ(controller_.TakeStoredHeartbeatsPayload(), "");
  Advance(1);
  EXPECT_EQ(controller_.TakeStoredHeartbeatsPayload(), "");
  EXPECT_EQ(Stored(), before);

  // The next day's request takes what is there.
  date_.Set("2025-01-02");
  Advance(30);
  EXPECT_EQ(DecodeAndUncompress(controller_.TakeStoredHeartbeatsPayload()),
            BuildHeartbeatsJson(before));
  Advance(30);
  date_.Set("2025-01-03");
  EXPECT_EQ(controller_.TakeStoredHeartbeatsPayload(), "");  // nothing stored
}

TEST_F(HeartbeatRequestTest, TodaysAgentIsTakenOnce) {
  Store(Record("2024-12-31", {{"old/1", {"2024-12-31"}}}));
  LogAndWait();
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), kAgent);
  // The agent's only date went, so its entry went with it.
  EXPECT_EQ(Stored(), Record("2025-01-01", {{"old/1", {"2024-12-31"}}}));
  Advance(30);
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), "");

  // A new day: once the payload is taken, there is no agent to give.
  date_.Set("2025-01-02");
  LogAndWait();
  Advance(30);
  EXPECT_FALSE(controller_.TakeStoredHeartbeatsPayload().empty());
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), "");
}

TEST_F(HeartbeatRequestTest, EachRequestFunctionWaitsThirtySecondsOnItsOwn) {
  LogAndWait();
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), kAgent);
  // The payload function has its own time: it is not held back by the agent request.
  date_.Set("2025-01-02");
  LogAndWait();
  EXPECT_FALSE(controller_.TakeStoredHeartbeatsPayload().empty());

  date_.Set("2025-01-03");
  LogAndWait();
  Advance(29);
  EXPECT_EQ(controller_.TakeStoredHeartbeatsPayload(), "");
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), "");
  EXPECT_EQ(Stored().heartbeats.at(kAgent), std::vector<std::string>{"2025-01-03"});
  Advance(1);
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), kAgent);
}

TEST_F(HeartbeatRequestTest, ARequestThatTimesOutLosesNothing) {
  LogAndWait();
  const LoggedHeartbeats stored = Stored();

  date_.Hold();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(controller_.TakeStoredHeartbeatsPayload(), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
  Advance(30);
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), "");
  date_.Release();
  ASSERT_TRUE(controller_.WaitUntilIdle(kWaitMs));
  // The abandoned tasks changed nothing: the heartbeats are still there for the next
  // request of the day.
  EXPECT_EQ(Stored(), stored);

  Advance(30);
  EXPECT_EQ(controller_.TakeTodaysHeartbeatAgent(), kAgent);
  Store(stored);
  EXPECT_EQ(DecodeAndUncompress(controller_.TakeStoredHeartbeatsPayload()),
            BuildHeartbeatsJson(stored));
}

// Agents with 30 dates each make a payload far over the limit: the agents go in order while
// the payload fits, and the rest stay stored for the next request. An agent that could never
// fit is dropped rather than blocking every later payload.
TEST_F(HeartbeatRequestTest, AnOversizedRecordIsSentInPartsThatFit) {
  std::mt19937 random(3);
  std::map<std::string, std::vector<std::string>> agents;
  for (int agent = 0; agent < 16; ++agent) {
    std::vector<std::string>& dates = agents["agent-" + std::to_string(random() % 100000) + "/1.0"];
    for (int day = 0; day < 30; ++day) {
      char date[11];
      std::snprintf(
          date, sizeof(date), "20%02u-%02u-%02u", 10 + static_cast<unsigned>(random() % 15),
          1 + static_cast<unsigned>(random() % 12), 1 + static_cast<unsigned>(random() % 28));
      dates.push_back(date);
    }
  }
  const LoggedHeartbeats all = Record("2024-12-31", agents);
  ASSERT_EQ(CompressAndEncode(BuildHeartbeatsJson(all)), "");
  Store(all);

  LoggedHeartbeats sent = Record("2024-12-31", {});
  LoggedHeartbeats left = all;
  for (int request = 0; request < 16 && !left.heartbeats.empty(); ++request) {
    const std::string payload = TakePayloadPatiently();
    Advance(30);
    ASSERT_FALSE(payload.empty()) << "request " << request;
    EXPECT_LE(payload.size(), kMaxPayloadLength);
    // The payload holds the first agents still stored, and only those are gone.
    const LoggedHeartbeats stored = Stored();
    LoggedHeartbeats taken = Record("2024-12-31", {});
    for (const auto& [agent, dates] : left.heartbeats) {
      if (stored.heartbeats.count(agent) == 0) taken.heartbeats[agent] = dates;
    }
    ASSERT_FALSE(taken.heartbeats.empty());
    EXPECT_EQ(DecodeAndUncompress(payload), BuildHeartbeatsJson(taken));
    EXPECT_EQ(taken.heartbeats.begin()->first, left.heartbeats.begin()->first);
    for (const auto& entry : taken.heartbeats) sent.heartbeats.insert(entry);
    left = stored;
  }
  EXPECT_EQ(sent, all);
  EXPECT_EQ(Stored(), Record("2024-12-31", {}));

  std::string huge(2000, 'A');  // sorts before the small agent
  for (size_t i = 1; i < huge.size(); ++i) huge[i] = static_cast<char>('a' + random() % 26);
  Store(Record("2024-12-31", {{huge, {"2024-12-30"}}, {"small/1", {"2024-12-30"}}}));
  date_.Set("2025-01-02");
  EXPECT_EQ(DecodeAndUncompress(TakePayloadPatiently()),
            BuildHeartbeatsJson(Record("2024-12-31", {{"small/1", {"2024-12-30"}}})));
  EXPECT_EQ(Stored(), Record("2024-12-31", {}));
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
