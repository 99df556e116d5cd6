// Heartbeat file bytes through HeartbeatStorage::ReadTo: the input is written as the file
// in a private data folder and read back. Any bytes either read as a record or fail
// cleanly; a record read from them writes and reads back unchanged.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/heartbeat/heartbeat_storage.h"
#include "app/heartbeat/platform_files.h"
#include "app/log.h"
#include "fuzz/fuzz_support.h"

namespace {

using nimbus::heartbeat::HeartbeatStorage;
using nimbus::heartbeat::LoggedHeartbeats;

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

// The storage of one app in a data folder of its own, removed at exit.
struct Fixture {
  Fixture() {
    tervala_fuzz::QuietLogAbortOnAssert();
    folder = tervala_fuzz::MakeScratchFolder("heartbeat-fuzz");
    nimbus::SetLocalAppDataFolder(folder);
    storage = std::make_unique<HeartbeatStorage>("fuzz", &logger);
    path = std::string(storage->filename().begin(), storage->filename().end());
    if (path.empty()) Fail("the storage found no file");
  }
  ~Fixture() {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }

  std::string folder;
  nimbus::Logger logger{&nimbus::GetSystemLogger()};
  std::unique_ptr<HeartbeatStorage> storage;
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  FILE* file = std::fopen(fixture.path.c_str(), "wb");
  if (file == nullptr) Fail("cannot write the heartbeat file");
  if (size > 0 && std::fwrite(data, 1, size, file) != size) Fail("short write");
  std::fclose(file);

  LoggedHeartbeats record;
  record.last_logged_date = "untouched";
  if (!fixture.storage->ReadTo(&record)) {
    if (record.last_logged_date != "untouched") Fail("a failed read changed the record");
    return 0;
  }
  if (!fixture.storage->Write(record)) Fail("cannot write back a record just read");
  LoggedHeartbeats again;
  if (!fixture.storage->ReadTo(&again) || !(again == record)) {
    Fail("a record read from the file does not write and read back unchanged");
  }
  return 0;
}
