#include "app/heartbeat/heartbeat_storage.h"

#include <flatbuffers/flatbuffers.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/heartbeat/logged_heartbeats_generated.h"
#include "app/heartbeat/tests/file_links.h"
#include "app/heartbeat/tests/heartbeat_storage_test.h"
#include "app/heartbeat/tests/test_data_home.h"
#include "platform/test_support/paths.h"

namespace nimbus {
namespace heartbeat {
namespace {

using testing::HeartbeatStorageTest;
using testing::IsDirectory;
using testing::IsFileLink;
using testing::IsRegularFile;
using testing::ListFolder;
using testing::MakeFileLink;
using testing::ReadFileBytes;
using testing::TwoAgents;
using testing::WriteFileBytes;

TEST_F(HeartbeatStorageTest, FreshMachineGetsFolderAndEmptyFile) {
  HeartbeatStorage storage("com.example.app.__NIMBUSAPP_DEFAULT", &logger_);
  const std::string path = PathOf("comexampleapp__NIMBUSAPP_DEFAULT");
  EXPECT_TRUE(IsRegularFile(path));
  EXPECT_EQ(ReadFileBytes(path), "");
  EXPECT_EQ(storage.filename(), std::wstring(path.begin(), path.end()));

  LoggedHeartbeats record = TwoAgents();
  EXPECT_TRUE(storage.ReadTo(&record));
  EXPECT_EQ(record, LoggedHeartbeats());
  EXPECT_TRUE(log_.all().empty());

  // An existing file is left as it is by a new storage.
  ASSERT_TRUE(storage.Write(TwoAgents()));
  HeartbeatStorage again("com.example.app.__NIMBUSAPP_DEFAULT", &logger_);
  EXPECT_TRUE(again.ReadTo(&record));
  EXPECT_EQ(record, TwoAgents());
}

TEST_F(HeartbeatStorageTest, SanitisesTheKey) {
  HeartbeatStorage dotted(".__NIMBUSAPP_DEFAULT", nullptr);
  HeartbeatStorage all_removed("/\\?%*:|\"<>.,;=", nullptr);
  HeartbeatStorage kept("a b\xC3\xA9-_#!", nullptr);
  EXPECT_EQ(ListFolder(Folder()),
            (std::vector<std::string>{"heartbeats-", "heartbeats-__NIMBUSAPP_DEFAULT",
                                      "heartbeats-a b\xC3\xA9-_#!"}));
  EXPECT_TRUE(log_.all().empty());
}

TEST_F(HeartbeatStorageTest, RoundTripsRecords) {
  HeartbeatStorage storage("app", &logger_);
  LoggedHeartbeats read = TwoAgents();
  ASSERT_TRUE(storage.Write(LoggedHeartbeats()));
  ASSERT_TRUE(storage.ReadTo(&read));
  EXPECT_EQ(read, LoggedHeartbeats());

  ASSERT_TRUE(storage.Write(TwoAgents()));
  ASSERT_TRUE(storage.ReadTo(&read));
  EXPECT_EQ(read, TwoAgents());

  // Agents are stored in byte-wise order, dates as given.
  const std::string bytes = ReadFileBytes(PathOf("app"));
  const auto* table = GetLoggedHeartbeatsTable(bytes.data());
  ASSERT_EQ(table->heartbeats()->size(), 2u);
  EXPECT_EQ(table->heartbeats()->Get(0)->user_agent()->str(), "Tervala/2.1");
  EXPECT_EQ(table->heartbeats()->Get(0)->dates()->Get(1)->str(), "2024-12-31");
  EXPECT_EQ(table->heartbeats()->Get(1)->user_agent()->str(), "nimbus-cpp/1.0 os/linux");
  EXPECT_TRUE(log_.all().empty());
}

// The file's bytes are those of a builder fed in a fixed order, so that files written by
// every version of the app are alike.
TEST_F(HeartbeatStorageTest, WritesTheExactBuildOrder) {
  HeartbeatStorage storage("app", &logger_);
  LoggedHeartbeats record;
  record.heartbeats["B"] = {"2025-01-01"};
  record.heartbeats["A"] = {"2025-01-01", "2025-01-02"};
  record.last_logged_date = "2025-01-02";
  ASSERT_TRUE(storage.Write(record));

  flatbuffers::FlatBufferBuilder builder(1024);
  const auto date = builder.CreateString("2025-01-02");
  std::vector<flatbuffers::Offset<flatbuffers::Table>> entries;
  for (const auto& [agent, dates] : record.heartbeats) {
    const auto agent_offset = builder.CreateString(agent);
    std::vector<flatbuffers::Offset<flatbuffers::String>> date_offsets;
    for (const auto& d : dates) date_offsets.push_back(builder.CreateString(d));
    const auto date_vector = builder.CreateVector(date_offsets);
    const auto start = builder.StartTable();
    builder.AddOffset(UserAgentDates::VT_DATES, date_vector);
    builder.AddOffset(UserAgentDates::VT_USER_AGENT, agent_offset);
    entries.push_back(flatbuffers::Offset<flatbuffers::Table>(builder.EndTable(start)));
  }
  const auto entry_vector = builder.CreateVector(entries);
  const auto start = builder.StartTable();
  builder.AddOffset(LoggedHeartbeatsTable::VT_HEARTBEATS, entry_vector);
  builder.AddOffset(LoggedHeartbeatsTable::VT_LAST_LOGGED_DATE, date);
  builder.Finish(flatbuffers::Offset<flatbuffers::Table>(builder.EndTable(start)));
  const std::string expected(reinterpret_cast<const char*>(builder.GetBufferPointer()),
                             builder.GetSize());
  EXPECT_EQ(ReadFileBytes(PathOf("app")), expected);

  // Both root fields are present even when empty.
  ASSERT_TRUE(storage.Write(LoggedHeartbeats()));
  const std::string empty = ReadFileBytes(PathOf("app"));
  const auto* table = GetLoggedHeartbeatsTable(empty.data());
  ASSERT_NE(table->last_logged_date(), nullptr);
  ASSERT_NE(table->heartbeats(), nullptr);
  EXPECT_EQ(table->heartbeats()->size(), 0u);
}

TEST_F(HeartbeatStorageTest, MergesRepeatedAgentsAndSkipsEmptyEntries) {
  // A file of the same schema written by someone else: repeated and date-less entries, an
  // entry without an agent, no date field.
  flatbuffers::FlatBufferBuilder builder;
  std::vector<std::string> first = {"2025-01-01"};
  std::vector<std::string> second = {"2025-01-05", "2025-01-02"};
  std::vector<flatbuffers::Offset<UserAgentDates>> entries = {
      CreateUserAgentDates(builder, builder.CreateString("Z"),
                           builder.CreateVectorOfStrings(first)),
      CreateUserAgentDates(builder, builder.CreateString("E"), builder.CreateVectorOfStrings({})),
      CreateUserAgentDates(builder, builder.CreateString("Y")),
      CreateUserAgentDates(builder, 0, builder.CreateVectorOfStrings(first)),
      CreateUserAgentDates(builder, builder.CreateString("Z"),
                           builder.CreateVectorOfStrings(second)),
  };
  builder.Finish(CreateLoggedHeartbeatsTable(builder, 0, builder.CreateVector(entries)));

  HeartbeatStorage storage("app", &logger_);
  WriteFileBytes(
      PathOf("app"),
      std::string(reinterpret_cast<const char*>(builder.GetBufferPointer()), builder.GetSize()));
  LoggedHeartbeats read;
  read.last_logged_date = "stale";
  ASSERT_TRUE(storage.ReadTo(&read));
  LoggedHeartbeats expected;
  expected.heartbeats["Z"] = {"2025-01-01", "2025-01-05", "2025-01-02"};
  expected.heartbeats[""] = {"2025-01-01"};
  EXPECT_EQ(read, expected);
}

TEST_F(HeartbeatStorageTest, DamagedFilesReadAsEmptyAndAreReplaced) {
  HeartbeatStorage storage("app", &logger_);
  std::mt19937 random(7);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random());

  // A valid file cut short, and random bytes.
  ASSERT_TRUE(storage.Write(TwoAgents()));
  const std::string valid = ReadFileBytes(PathOf("app"));
  for (const std::string& bytes : {valid.substr(0, valid.size() / 2), noise, valid.substr(0, 11)}) {
    WriteFileBytes(PathOf("app"), bytes);
    LoggedHeartbeats read = TwoAgents();
    EXPECT_TRUE(storage.ReadTo(&read));
    EXPECT_EQ(read, LoggedHeartbeats());
  }

  ASSERT_TRUE(storage.Write(TwoAgents()));
  LoggedHeartbeats read;
  ASSERT_TRUE(storage.ReadTo(&read));
  EXPECT_EQ(read, TwoAgents());
  EXPECT_TRUE(log_.all().empty());
}

TEST_F(HeartbeatStorageTest, ReadsUpTo512000Bytes) {
  HeartbeatStorage storage("app", &logger_);
  // A valid record padded to the limit: the verifier ignores bytes after the buffer.
  ASSERT_TRUE(storage.Write(TwoAgents()));
  std::string bytes = ReadFileBytes(PathOf("app"));
  bytes.resize(512000, '\0');
  WriteFileBytes(PathOf("app"), bytes);
  LoggedHeartbeats read;
  ASSERT_TRUE(storage.ReadTo(&read));
  EXPECT_EQ(read, TwoAgents());
  EXPECT_TRUE(log_.all().empty());

  bytes.push_back('\0');
  WriteFileBytes(PathOf("app"), bytes);
  EXPECT_FALSE(storage.ReadTo(&read));
  EXPECT_EQ(read, TwoAgents());
  EXPECT_EQ(log_.Messages(kLogLevelError),
            std::vector<std::string>{"'" + PathOf("app") + "' is too large to read."});
}

TEST_F(HeartbeatStorageTest, ReportsAFolderInPlaceOfTheFile) {
  ASSERT_TRUE(std::filesystem::create_directories(PathOf("app")));
  HeartbeatStorage storage("app", &logger_);
  LoggedHeartbeats read = TwoAgents();
  EXPECT_FALSE(storage.ReadTo(&read));
  EXPECT_EQ(read, TwoAgents());
  EXPECT_FALSE(storage.Write(LoggedHeartbeats()));
  EXPECT_TRUE(IsDirectory(PathOf("app")));
  const std::string path = PathOf("app");
  EXPECT_EQ(log_.Messages(kLogLevelError),
            (std::vector<std::string>{"Unable to open '" + path + "'.",
                                      "Unable to open '" + path + "' for reading.",
                                      "Unable to open '" + path + "' for writing."}));
  // The failed write left no temporary file behind.
  EXPECT_EQ(ListFolder(Folder()), std::vector<std::string>{"heartbeats-app"});
}

// A link in the file's place, dangling or not, is never followed: nothing is created or read
// outside the folder, and the first write replaces the link with the app's own file.
TEST_F(HeartbeatStorageTest, NeverFollowsALinkInPlaceOfTheFile) {
  const std::string outside = home_.path() + "/outside";
  ASSERT_TRUE(std::filesystem::create_directories(tervala_testing::PathFromUtf8(Folder())));
  std::filesystem::create_directory(tervala_testing::PathFromUtf8(outside));
  // Wine makes none, and Windows only with a privilege or in developer mode.
  if (!MakeFileLink(outside + "/created", PathOf("dangling")) || !IsFileLink(PathOf("dangling"))) {
    GTEST_SKIP() << "no symbolic links can be made here";
  }
  WriteFileBytes(outside + "/existing", "not a heartbeat record");
  ASSERT_TRUE(MakeFileLink(outside + "/existing", PathOf("existing")));
  ASSERT_TRUE(IsFileLink(PathOf("existing")));
  for (const std::string key : {"dangling", "existing"}) {
    HeartbeatStorage storage(key, &logger_);
    // The link is no record of ours: it reads as none, and the first write replaces it.
    LoggedHeartbeats read = TwoAgents();
    EXPECT_TRUE(storage.ReadTo(&read));
    EXPECT_EQ(read, LoggedHeartbeats());
    EXPECT_TRUE(IsFileLink(PathOf(key)));
    ASSERT_TRUE(storage.Write(TwoAgents()));
    EXPECT_FALSE(IsFileLink(PathOf(key)));
    ASSERT_TRUE(storage.ReadTo(&read));
    EXPECT_EQ(read, TwoAgents());
  }
  EXPECT_EQ(ListFolder(outside), std::vector<std::string>{"existing"});
  EXPECT_EQ(ReadFileBytes(outside + "/existing"), "not a heartbeat record");
}

TEST_F(HeartbeatStorageTest, WithoutAFolderEveryCallFails) {
  WriteFileBytes(Folder(), "a file where the folder belongs");
  const std::string cwd = tervala_testing::PathToUtf8(std::filesystem::current_path());
  const std::vector<std::string> cwd_before = ListFolder(cwd);

  HeartbeatStorage storage("app", &logger_);
  EXPECT_TRUE(storage.filename().empty());
  LoggedHeartbeats read;
  EXPECT_FALSE(storage.ReadTo(&read));
  EXPECT_FALSE(storage.Write(TwoAgents()));
  EXPECT_EQ(log_.Messages(kLogLevelError),
            (std::vector<std::string>{
                "Could not create directory " + Folder() + ": non-directory already exists",
                "Unable to open ''.", "Unable to open '' for reading.",
                "Unable to open '' for writing."}));
  EXPECT_EQ(ListFolder(cwd), cwd_before);
}

TEST_F(HeartbeatStorageTest, RemovesOnlyStaleTemporaryFiles) {
  std::filesystem::create_directories(Folder());
  const std::string stale = PathOf("app") + ".tmp-aB3xY9";
  const std::string fresh = PathOf("app") + ".tmp-Qw12er";
  const std::string other_key = PathOf("app2") + ".tmp-aB3xY9";
  const std::string other_name = PathOf("app") + ".tmp-short";
  for (const std::string& path : {stale, fresh, other_key, other_name}) {
    WriteFileBytes(path, "partial");
  }
  const auto an_hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  for (const std::string& path : {stale, other_key, other_name}) {
    std::filesystem::last_write_time(path, an_hour_ago);
  }

  // Made on the thread that creates the app, the storage leaves the folder unread (it may
  // hold hundreds of thousands of entries); its owner's worker asks for the clean-up.
  HeartbeatStorage storage("app", &logger_);
  EXPECT_TRUE(IsRegularFile(stale));
  storage.RemoveStaleTemporaryFiles();
  EXPECT_FALSE(IsRegularFile(stale));
  EXPECT_TRUE(IsRegularFile(fresh));
  EXPECT_TRUE(IsRegularFile(other_key));
  EXPECT_TRUE(IsRegularFile(other_name));
}

}  // namespace
}  // namespace heartbeat
}  // namespace nimbus
