// Configuration file text through ParseJsonConfig, both into a new record and into one
// that already holds values: no crash, no leak, no internal assertion.

#include <string>

#include "app/app_options.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool kQuiet = (tervala_fuzz::QuietLogAbortOnAssert(), true);
  (void)kQuiet;
  // The parser takes NUL-terminated text; an embedded NUL ends it early, as in a file.
  const std::string json(reinterpret_cast<const char*>(data), size);
  delete nimbus::ParseJsonConfig(json.c_str(), nullptr);

  nimbus::AppOptions options;
  options.app_id = "1:123:desktop:abc";
  options.api_key = "key";
  nimbus::ParseJsonConfig(json.c_str(), &options);
  return 0;
}
