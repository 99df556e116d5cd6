#include <signal.h>

#include <filesystem>

#include "platform/test_support/paths.h"
#include "runner/tests/runner_test_support.h"

namespace runner_test {

std::string PlaceProgram(const std::string& folder) {
  // The libraries come from the build tree through the program's run path.
  const std::filesystem::path program = tervala_testing::PathFromUtf8(folder) / TERVALA_APP_NAME;
  std::filesystem::copy_file(tervala_testing::PathFromUtf8(BuiltFile(TERVALA_APP_NAME)), program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  return tervala_testing::PathToUtf8(program);
}

void RequestClose(long process_id) {
  if (process_id > 0) kill(static_cast<pid_t>(process_id), SIGTERM);
}

}  // namespace runner_test
