#include <filesystem>
#include <system_error>

#include "app/heartbeat/tests/file_links.h"

namespace nimbus {
namespace heartbeat {
namespace testing {

bool MakeFileLink(const std::string& target, const std::string& link) {
  std::error_code error;
  std::filesystem::create_symlink(target, link, error);
  return !error;
}

bool IsFileLink(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_symlink(path, error);
}

}  // namespace testing
}  // namespace heartbeat
}  // namespace nimbus
