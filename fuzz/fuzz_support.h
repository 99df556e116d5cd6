#ifndef TERVALA_FUZZ_FUZZ_SUPPORT_H_
#define TERVALA_FUZZ_FUZZ_SUPPORT_H_

// Shared set-up of the fuzz targets: a quiet log that still turns internal assertions into
// crashes, and a silenced std::cerr for the codecs' diagnostic lines.

#include <cstddef>
#include <cstdint>

// The entry point each fuzz target defines; libFuzzer or the replay driver calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace tervala_fuzz {

// Installs a log sink that drops messages below assert level and aborts on assert level,
// so that an input reaching an internal check is reported as a finding. Call once.
void QuietLogAbortOnAssert();

// Discards everything written to std::cerr from now on.
void SilenceStdCerr();

}  // namespace tervala_fuzz

#endif  // TERVALA_FUZZ_FUZZ_SUPPORT_H_
