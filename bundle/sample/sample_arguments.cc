#include "bundle/sample/sample_arguments.h"

#include <string_view>

namespace tervala_bundle {
namespace {

struct OptionFlag {
  std::string_view name;
  AppOptionsRecord::Field field;
};

constexpr OptionFlag kOptionFlags[] = {
    {"--api-key", AppOptionsRecord::kApiKey},
    {"--app-id", AppOptionsRecord::kAppId},
    {"--project-id", AppOptionsRecord::kProjectId},
    {"--messaging-sender-id", AppOptionsRecord::kMessagingSenderId},
    {"--database-url", AppOptionsRecord::kDatabaseUrl},
    {"--storage-bucket", AppOptionsRecord::kStorageBucket},
};

}  // namespace

SampleArguments ParseSampleArguments(int argc, const char* const* argv) {
  SampleArguments arguments;
  for (int i = 0; i < argc; ++i) {
    const std::string_view argument = argv[i] != nullptr ? argv[i] : "";
    if (argument == "--exit-when-ready") {
      arguments.exit_when_ready = true;
      continue;
    }
    const size_t equals = argument.find('=');
    const std::string_view name = argument.substr(0, equals);
    bool known = false;
    for (const OptionFlag& flag : kOptionFlags) {
      if (name != flag.name) continue;
      known = true;
      if (equals == std::string_view::npos) {
        arguments.problems.push_back("the option " + std::string(name) +
                                     " needs a value: " + std::string(name) + "=VALUE");
      } else {
        arguments.options.fields[flag.field] = std::string(argument.substr(equals + 1));
        arguments.any_option = true;
      }
    }
    if (!known) arguments.problems.push_back("unknown argument \"" + std::string(argument) + "\"");
  }
  return arguments;
}

const char* SampleUsage() {
  return "arguments: [--api-key=KEY] [--app-id=ID] [--project-id=ID] "
         "[--messaging-sender-id=ID] [--database-url=URL] [--storage-bucket=BUCKET] "
         "[--exit-when-ready]";
}

}  // namespace tervala_bundle
