// Symbolic links to files, for tests of code that must never follow one.
#ifndef TERVALA_APP_HEARTBEAT_TESTS_FILE_LINKS_H_
#define TERVALA_APP_HEARTBEAT_TESTS_FILE_LINKS_H_

#include <string>

namespace nimbus {
namespace heartbeat {
namespace testing {

// Makes `link` (UTF-8) a symbolic link to the file `target`, which need not exist. False
// when the system does not let this user make one (Windows without the privilege or
// developer mode).
bool MakeFileLink(const std::string& target, const std::string& link);

// True when `path` is a symbolic link (on Windows, any reparse point).
bool IsFileLink(const std::string& path);

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus

#endif  // TERVALA_APP_HEARTBEAT_TESTS_FILE_LINKS_H_
