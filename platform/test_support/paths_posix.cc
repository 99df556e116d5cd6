#include <unistd.h>

#include "platform/test_support/paths.h"

namespace tervala_testing {

std::filesystem::path CurrentExecutable() {
  return std::filesystem::read_symlink("/proc/self/exe");
}

}  // namespace tervala_testing
