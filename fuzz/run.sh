#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang, ASan, UBSan) and fuzzes them one
# after another, each from its seed corpus in fuzz/corpus/<target>/ plus what earlier runs
# found (kept in build/fuzz/fuzz/corpus/<target>/), under the same memory bounds as the
# CTest entries. Crashing inputs land in build/fuzz/fuzz/artifacts/<target>/ and the full
# output in build/fuzz/fuzz/logs/<target>.log; a summary line per target is printed.
#
# usage: fuzz/run.sh [seconds per target (default 600)] [target...]
#   e.g. fuzz/run.sh 60 zlib base64
# Reproduce a finding: build/fuzz/fuzz/fuzz_<target> <crash file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
all_targets=(standard_codec bridge_codec json_config heartbeat_file base64 zlib json_variant
             flexbuffer_variant plugin_channels)
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all_targets[@]}")

# Larger inputs for the targets whose inputs are files or compressed data.
max_len() {
  case $1 in
    heartbeat_file | zlib) echo 16384 ;;
    *) echo 4096 ;;
  esac
}

# Keeps the channel handlers' line per undecodable request out of the log.
extra_args() {
  case $1 in
    plugin_channels) echo -close_fd_mask=2 ;;
  esac
}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 >/dev/null

out=build/fuzz/fuzz
mkdir -p "$out/logs"
status=0
for target in "${targets[@]}"; do
  mkdir -p "$out/corpus/$target" "$out/artifacts/$target"
  log=$out/logs/$target.log
  started=$SECONDS
  if ! "$out/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=256 \
      -max_len="$(max_len "$target")" -timeout=10 -print_final_stats=1 $(extra_args "$target") \
      -artifact_prefix="$out/artifacts/$target/" \
      "$out/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    status=1
    echo "$target: FINDING, see $log and $out/artifacts/$target/"
  fi
  # The last status line carries the edge coverage, features and corpus size.
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  total=$(sed -n 's/.*Loaded [0-9]* modules *(\([0-9]*\) inline 8-bit counters.*/\1/p' "$log")
  echo "$target: ${runs:-?} executions in $((SECONDS - started))s; edges of ${total:-?}: ${last#*cov: }"
done
exit $status
