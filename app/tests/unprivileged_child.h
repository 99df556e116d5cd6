// Runs a check in a child process as an unprivileged user (root reads every file and is not
// held to process limits), for tests of what an ordinary user meets.
#ifndef TERVALA_APP_TESTS_UNPRIVILEGED_CHILD_H_
#define TERVALA_APP_TESTS_UNPRIVILEGED_CHILD_H_

#include <functional>
#include <optional>

namespace nimbus_testing {

// Forks; the child drops root (to nobody) when it has it and exits with what `body`
// returns (0 to 254). The child's exit code, or nothing when the child could not drop root
// or did not exit normally.
std::optional<int> RunAsUnprivilegedChild(const std::function<int()>& body);

}  // namespace nimbus_testing

#endif  // TERVALA_APP_TESTS_UNPRIVILEGED_CHILD_H_
