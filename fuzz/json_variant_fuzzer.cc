// JSON text through JsonToVariant: no crash, and a value it accepts writes back as JSON
// that it accepts again (nothing it reads turns into text it refuses).

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/variant/variant.h"
#include "app/variant/variant_conversions.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool kQuiet = (tervala_fuzz::QuietLogAbortOnAssert(), true);
  (void)kQuiet;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const nimbus::Variant value = nimbus::JsonToVariant(text.c_str(), &error);
  if (value.is_null()) return 0;
  for (bool pretty : {false, true}) {
    const std::string json = nimbus::VariantToJson(value, pretty);
    if (json.empty() || nimbus::JsonToVariant(json.c_str(), &error).is_null()) {
      std::fprintf(stderr, "accepted JSON does not write back as valid JSON: %s\n", error.c_str());
      std::abort();
    }
  }
  return 0;
}
