#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
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

}  // namespace tervala_fuzz
