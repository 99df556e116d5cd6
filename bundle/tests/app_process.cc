#include "bundle/tests/app_process.h"

#include <chrono>
#include <fstream>
#include <sstream>

namespace bundle_test {
namespace {

tervala_testing::ChildOptions Options(const std::string& working_directory,
                                      const std::vector<std::string>& environment) {
  tervala_testing::ChildOptions options;
  options.working_directory = working_directory;
  for (const std::string& entry : environment) {
    const size_t equals = entry.find('=');
    options.environment.emplace_back(entry.substr(0, equals),
                                     equals == std::string::npos ? "" : entry.substr(equals + 1));
  }
  return options;
}

}  // namespace

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

AppProcess::AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
                       const std::string& working_directory,
                       const std::vector<std::string>& environment)
    : child_(executable, arguments, Options(working_directory, environment)) {}

int AppProcess::WaitForExit(int timeout_ms) {
  const tervala_testing::ChildExit exit = child_.Wait(std::chrono::milliseconds(timeout_ms));
  if (!exit.finished || exit.signal != 0 || !exit.exit_code.has_value()) return -1;
  return *exit.exit_code;
}

std::string AppProcess::StandardOutput() const { return child_.StandardOutput(); }

std::string AppProcess::StandardError() const { return child_.StandardError(); }

}  // namespace bundle_test
