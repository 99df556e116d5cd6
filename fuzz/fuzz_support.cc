#include "fuzz/fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

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
  for (const std::filesystem::path& base :
       {std::filesystem::path("/dev/shm"), std::filesystem::temp_directory_path()}) {
    std::string pattern = base / (prefix + "-XXXXXX");
    if (mkdtemp(pattern.data()) != nullptr) return pattern;
  }
  std::fprintf(stderr, "cannot make a temporary folder\n");
  std::abort();
}

}  // namespace tervala_fuzz
