#!/usr/bin/env bash
# Sets up, builds and starts tervala_app; arguments are passed on to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec ./build/release/runner/tervala_app "$@"
