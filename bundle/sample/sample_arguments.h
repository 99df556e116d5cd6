// The sample application's entry-point arguments: the default app's options and what to do
// once the core has answered.
#ifndef TERVALA_BUNDLE_SAMPLE_SAMPLE_ARGUMENTS_H_
#define TERVALA_BUNDLE_SAMPLE_SAMPLE_ARGUMENTS_H_

#include <string>
#include <vector>

#include "bundle/sample/nimbus_records.h"

namespace tervala_bundle {

// What the arguments ask for. Options not given stay empty (required ones) or absent
// (optional ones); with no option given at all the app core falls back to its config files.
struct SampleArguments {
  AppOptionsRecord options;
  bool any_option = false;
  bool exit_when_ready = false;
  // One line per argument that was not understood; those arguments are ignored.
  std::vector<std::string> problems;
};

// Reads --api-key=, --app-id=, --project-id=, --messaging-sender-id=, --database-url=,
// --storage-bucket= and --exit-when-ready.
SampleArguments ParseSampleArguments(int argc, const char* const* argv);

// The usage text printed with the problems.
const char* SampleUsage();

}  // namespace tervala_bundle

#endif  // TERVALA_BUNDLE_SAMPLE_SAMPLE_ARGUMENTS_H_
