#ifndef TERVALA_FUZZ_FUZZ_SUPPORT_H_
#define TERVALA_FUZZ_FUZZ_SUPPORT_H_

// Shared set-up of the fuzz targets: a quiet log that still turns internal assertions into
// crashes, and a silenced std::cerr for the codecs' diagnostic lines.

#include <cstddef>
#include <cstdint>
#include <string>

// The entry point each fuzz target defines; libFuzzer or the replay driver calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace tervala_fuzz {

// Installs a log sink that drops messages below assert level and aborts on assert level,
// so that an input reaching an internal check is reported as a finding. Call once.
void QuietLogAbortOnAssert();

// Discards everything written to std::cerr from now on.
void SilenceStdCerr();

// Makes a new empty folder whose name starts with `prefix`: in /dev/shm when possible,
// since targets that write files back pay an fsync per write on a disk, else in the
// temporary directory. Aborts when neither works. The caller removes it.
std::string MakeScratchFolder(const std::string& prefix);

}  // namespace tervala_fuzz

#endif  // TERVALA_FUZZ_FUZZ_SUPPORT_H_
