#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <system_error>

#include "app/log.h"

namespace tervala_fuzz {
namespace {

void AbortOnAssert(nimbus::LogLevel level, const char* message, void* /*user_data*/) {
  if (level < nimbus::kLogLevelAssert) return;
  std::fprintf(stderr, "assertion reached: %s\n", message);
  std::abort();
}

}  // namespace

void QuietLogAbortOnAssert() { nimbus::LogSetCallback(&AbortOnAssert, nullptr); }

void SilenceStdCerr() { std::cerr.rdbuf(nullptr); }

std::string MakeScratchFolder(const std::string& prefix) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  // Memory-backed /dev/shm where there is one: fuzzers write a lot.
  for (const std::filesystem::path& base :
       {std::filesystem::path("/dev/shm"), std::filesystem::temp_directory_path()}) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::filesystem::path folder = base / (prefix + "-" + std::to_string(random()));
      std::error_code error;
      // False without an error when the name is taken: another attempt.
      if (std::filesystem::create_directory(folder, error)) return folder.string();
      if (error) break;
    }
  }
  std::fprintf(stderr, "cannot make a temporary folder\n");
  std::abort();
}

}  // namespace tervala_fuzz
