#!/usr/bin/env bash
# Start-up of tervala_app (exec to the first frame and to the first initializeCore reply),
# its peak resident memory, and its CPU use when idle, in the optimised build (the release
# preset), headless. Prints medians over the runs.
#
#   bench/startup.sh [runs] [idle seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-21}
idle=${2:-5}
build=build/release

cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target startup_benchmarks >/dev/null

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
"$build/bench/startup_benchmarks" --app "$build/runner/tervala_app" \
  --bundle "$build/bench/startup_benchmark_bundle.so" \
  --config bundle/sample/nimbus-services.json --runs "$runs" --idle-seconds "$idle" --sample
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
