#!/usr/bin/env bash
# Sets up, builds and runs every test: all of them under AddressSanitizer with
# UndefinedBehaviorSanitizer, and the tests of concurrent code also under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
for preset in asan tsan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
