#include "platform/test_support/child_process.h"

#include "platform/test_support/paths.h"

namespace tervala_testing {

ChildRun RunChild(const std::string& program, const std::vector<std::string>& arguments,
                  const ChildOptions& options, std::chrono::milliseconds timeout) {
  ChildProcess child(program, arguments, options);
  ChildRun run;
  if (!child.started()) {
    run.err = child.start_error();
    return run;
  }
  run.exit = child.Wait(timeout);
  run.out = child.StandardOutput();
  run.err = child.StandardError();
  return run;
}

ChildRun RunTestInChild(const std::string& test_name,
                        const std::vector<std::pair<std::string, std::string>>& environment,
                        std::chrono::milliseconds timeout) {
  ChildOptions options;
  options.environment = environment;
  return RunChild(PathToUtf8(CurrentExecutable()), {"--gtest_filter=" + test_name}, options,
                  timeout);
}

}  // namespace tervala_testing
