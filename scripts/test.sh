#!/usr/bin/env bash
# Sets up, builds and runs every test: all of them under AddressSanitizer with
# UndefinedBehaviorSanitizer, and the tests of concurrent code also under ThreadSanitizer;
# then the Windows build, cross-compiled, its checks and its test suites under Wine; then the
# packages (the Debian ones and the Windows installer, and the SDK for both, with the example
# application built against it), made from the release builds and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh windows package

jobs=$(nproc)
# ccache hits across clones of the repo in other folders (CI builds a fresh clone).
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
for preset in asan tsan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "== windows"
./scripts/build-windows.sh -j "$jobs"
./scripts/check-windows.sh
./scripts/test-windows.sh -j "$jobs"

# Last, so that the run's final line is the package check's "N passed, M failed".
echo "== packages"
./scripts/package.sh
./scripts/check-packages.sh
