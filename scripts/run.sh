#!/usr/bin/env bash
# Sets up, builds and starts tervala_app; arguments are passed on to the program (the sample
# application takes --api-key=, --app-id=, --project-id=, --messaging-sender-id=,
# --database-url=, --storage-bucket= and --exit-when-ready).
#
# The program runs in build/release/sample-run/, where the app core looks for its config
# file. The sample config is copied there on the first run only, so a nimbus-services.json
# (or nimbus-services-desktop.json) of your own put there is kept. The heartbeat goes to
# your data folder ($XDG_DATA_HOME, else ~/.local/share) under nimbus-heartbeat/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
run_dir=build/release/sample-run
mkdir -p "$run_dir"
if [[ ! -e "$run_dir/nimbus-services.json" && ! -e "$run_dir/nimbus-services-desktop.json" ]]; then
  cp bundle/sample/nimbus-services.json "$run_dir/nimbus-services.json"
fi
cd "$run_dir"
exec ../runner/tervala_app "$@"
