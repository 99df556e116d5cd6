// The daily heartbeat: the logging task on the controller's worker (reading the app's
// heartbeat file, adding the day, writing it back durably), the check that makes every
// later call of the day cheap, and building the payload of a full record.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "app/heartbeat/date_provider.h"
#include "app/heartbeat/heartbeat_controller.h"
#include "app/heartbeat/heartbeat_payload.h"
#include "app/heartbeat/logged_heartbeats.h"
#include "app/heartbeat/platform_files.h"
#include "app/log.h"

namespace {

using nimbus::heartbeat::HeartbeatController;
using nimbus::heartbeat::LoggedHeartbeats;

// "%Y-%m-%d" of the day `days` after 2025-01-01.
std::string DateAfter(int days) {
  using namespace std::chrono;
  const year_month_day date{sys_days{2025y / January / 1} + std::chrono::days{days}};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

// A new day on every call, so that every logging task does its full work.
class NextDayProvider : public nimbus::heartbeat::DateProvider {
 public:
  std::string GetDate() const override { return DateAfter(day_++); }

 private:
  mutable std::atomic<int> day_{0};
};

// The same day on every call.
class FixedDayProvider : public nimbus::heartbeat::DateProvider {
 public:
  std::string GetDate() const override { return "2025-06-01"; }
};

// A private data folder for the heartbeat files for the life of the object.
class DataHome {
 public:
  DataHome() {
    char pattern[] = "/tmp/tervala-bench-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
    nimbus::SetLocalAppDataFolder(path_);
  }
  ~DataHome() {
    nimbus::SetLocalAppDataFolder(std::string());
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  DataHome(const DataHome&) = delete;
  DataHome& operator=(const DataHome&) = delete;
  bool ok() const { return !path_.empty(); }

 private:
  std::string path_;
};

void RegisterTypicalLibraries() {
  nimbus::App::RegisterLibrary("nimbus-cpp", "12.8.0");
  nimbus::App::RegisterLibrary("nimbus-cpp-core-plugin", "3.4.1");
}

// One logging task per iteration, timed from the request to the worker being idle again:
// a read of the file, a new date, and a durable write (the file is synced before it
// replaces the old one, so the disk decides most of this).
void HeartbeatLogNewDay(benchmark::State& state) {
  DataHome home;
  if (!home.ok()) return state.SkipWithError("no temporary folder");
  RegisterTypicalLibraries();
  NextDayProvider days;
  HeartbeatController controller("benchmark-app", &nimbus::GetSystemLogger(), days);
  for (auto _ : state) {
    controller.LogHeartbeat();
    if (!controller.WaitUntilIdle(10000)) state.SkipWithError("the worker did not finish");
  }
  controller.Shutdown();
}
BENCHMARK(HeartbeatLogNewDay)->UseRealTime();

// A heartbeat request when today's is already logged: what every call after the first of
// the day costs.
void HeartbeatLogSameDay(benchmark::State& state) {
  DataHome home;
  if (!home.ok()) return state.SkipWithError("no temporary folder");
  RegisterTypicalLibraries();
  FixedDayProvider day;
  HeartbeatController controller("benchmark-app", &nimbus::GetSystemLogger(), day);
  controller.LogHeartbeat();
  controller.WaitUntilIdle(10000);
  for (auto _ : state) {
    controller.LogHeartbeat();
    if (!controller.WaitUntilIdle(10000)) state.SkipWithError("the worker did not finish");
  }
  controller.Shutdown();
}
BENCHMARK(HeartbeatLogSameDay)->UseRealTime();

// The fullest record the file keeps in practice: 30 dates (the most per agent) under the
// current agent, and 30 under each of two agents of earlier versions.
LoggedHeartbeats FullRecord() {
  LoggedHeartbeats record;
  const char* agents[] = {
      "nimbus-cpp/12.6.0 nimbus-cpp-arch/x86_64 nimbus-cpp-core-plugin/3.3.0 "
      "nimbus-cpp-os/linux nimbus-cpp-stl/libstdc++",
      "nimbus-cpp/12.7.2 nimbus-cpp-arch/x86_64 nimbus-cpp-core-plugin/3.4.0 "
      "nimbus-cpp-os/linux nimbus-cpp-stl/libstdc++",
      "nimbus-cpp/12.8.0 nimbus-cpp-arch/x86_64 nimbus-cpp-core-plugin/3.4.1 "
      "nimbus-cpp-os/linux nimbus-cpp-stl/libstdc++",
  };
  int day = 0;
  for (const char* agent : agents) {
    for (int i = 0; i < 30; ++i) record.heartbeats[agent].push_back(DateAfter(day++));
  }
  record.last_logged_date = DateAfter(day - 1);
  return record;
}

void BuildHeartbeatsJsonFull(benchmark::State& state) {
  const LoggedHeartbeats record = FullRecord();
  size_t size = 0;
  for (auto _ : state) {
    std::string json = nimbus::heartbeat::BuildHeartbeatsJson(record);
    size = json.size();
    benchmark::DoNotOptimize(json.data());
  }
  state.SetLabel(std::to_string(size) + " bytes of JSON");
}
BENCHMARK(BuildHeartbeatsJsonFull);

void CompressAndEncodeFull(benchmark::State& state) {
  const std::string json = nimbus::heartbeat::BuildHeartbeatsJson(FullRecord());
  const std::string payload = nimbus::heartbeat::CompressAndEncode(json);
  if (payload.empty()) return state.SkipWithError("the full record has no payload");
  for (auto _ : state) {
    std::string encoded = nimbus::heartbeat::CompressAndEncode(json);
    benchmark::DoNotOptimize(encoded.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
  state.SetLabel(std::to_string(payload.size()) + " characters of payload");
}
BENCHMARK(CompressAndEncodeFull);

}  // namespace
