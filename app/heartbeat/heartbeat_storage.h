#ifndef TERVALA_APP_HEARTBEAT_HEARTBEAT_STORAGE_H_
#define TERVALA_APP_HEARTBEAT_HEARTBEAT_STORAGE_H_

// The file that keeps one app's heartbeat record across restarts, shared by every process
// of that app run by the same user.

#include <string>
#include <string_view>

#include "app/heartbeat/logged_heartbeats.h"
#include "app/log.h"

namespace nimbus {
namespace heartbeat {

// Reads and replaces the heartbeat record of one app in the file
// "nimbus-heartbeat/heartbeats-<key>" under the user's application-data folder. It holds
// no open file between calls and no lock: its owner serialises the calls, and between
// processes the last writer wins. Problems are logged through the logger given at
// construction; a damaged or empty file reads as an empty record.
class HeartbeatStorage {
 public:
  // Locates the file for `heartbeat_key` (characters that cannot appear in a file name
  // are dropped from it), creating the folder and an empty file when missing. It cannot
  // fail: problems are logged and later reads and writes fail. `logger` must outlive the
  // storage; when null, the process-wide logger is used.
  HeartbeatStorage(const std::string& heartbeat_key, LoggerBase* logger);

  HeartbeatStorage(const HeartbeatStorage&) = delete;
  HeartbeatStorage& operator=(const HeartbeatStorage&) = delete;

  // Reads the whole file into `heartbeats`. Returns false, leaving it untouched, when the
  // file cannot be opened or read or is larger than 512000 bytes. A file that is not a
  // valid record (such as the empty file made at construction) reads as an empty record.
  bool ReadTo(LoggedHeartbeats* heartbeats) const;

  // Replaces the file's content with `heartbeats`. The file is replaced as a whole, so a
  // crash or a failed write leaves the previous record in place. Returns false on failure.
  bool Write(const LoggedHeartbeats& heartbeats) const;

  // Removes the temporary files that writers killed in the middle of a write left beside
  // the file, once they are old enough that no live writer can hold them. It reads the
  // whole folder, so it belongs on the thread that does the file work.
  void RemoveStaleTemporaryFiles() const;

  // The file's path (UTF-16 code units); empty when no location could be found.
  const std::wstring& filename() const { return filename_; }

 private:
  std::wstring filename_;
  LoggerBase* logger_;
  // The path as UTF-8, as messages show it.
  std::string path_;
};

// The bytes of a heartbeat file holding `record`, exactly as HeartbeatStorage::Write stores
// them.
std::string EncodeLoggedHeartbeats(const LoggedHeartbeats& record);

// Decodes the content of a heartbeat file into `record`. False, leaving `record` alone,
// when the bytes are not a valid record (the empty file of a fresh storage is not one).
bool DecodeLoggedHeartbeats(std::string_view bytes, LoggedHeartbeats* record);

}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_HEARTBEAT_STORAGE_H_
