// Untrusted flexbuffer bytes through FlexbufferToVariant: no crash and bounded memory; a
// value it accepts converts back into a flexbuffer that reads as the same value
// (written again, it gives the same bytes).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/variant/variant.h"
#include "app/variant/variant_conversions.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool kQuiet = (tervala_fuzz::QuietLogAbortOnAssert(), true);
  (void)kQuiet;
  std::string error;
  const nimbus::Variant value = nimbus::FlexbufferToVariant(data, size, &error);
  if (value.is_null()) return 0;
  const std::vector<uint8_t> bytes = nimbus::VariantToFlexbuffer(value);
  const nimbus::Variant again = nimbus::FlexbufferToVariant(bytes.data(), bytes.size(), &error);
  // Compared as bytes, so that a NaN compares as itself.
  if (again.is_null() || nimbus::VariantToFlexbuffer(again) != bytes) {
    std::fprintf(stderr, "an accepted flexbuffer does not convert back: %s\n", error.c_str());
    std::abort();
  }
  return 0;
}
