#include "app/tests/unprivileged_child.h"

#include <sys/wait.h>
#include <unistd.h>

namespace nimbus_testing {
namespace {
constexpr int kCannotDropPrivileges = 255;
}  // namespace

std::optional<int> RunAsUnprivilegedChild(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(kCannotDropPrivileges);
    }
    _exit(body());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) == kCannotDropPrivileges) {
    return std::nullopt;
  }
  return WEXITSTATUS(status);
}

}  // namespace nimbus_testing
