#!/usr/bin/env bash
# Builds the benchmarks in the optimised build (the release preset) and runs them with
# repetitions, then prints the median CPU time of each and the ratios the targets are
# stated in. The machine may be shared: the load average is printed before and after,
# and medians of several repetitions keep a busy moment from deciding the result.
#
#   bench/run.sh [repetitions] [benchmark filter regex]
#
# Results (CSV from the benchmark library, one row per aggregate) stay in
# build/release/bench/results/.
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions=${1:-9}
filter=${2:-.}
build=build/release
results=$build/bench/results

cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target tervala_benchmarks >/dev/null
mkdir -p "$results"

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for suite in codec_benchmarks app_benchmarks channel_benchmarks; do
  "$build/bench/$suite" --benchmark_filter="$filter" \
    --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
    --benchmark_min_time=0.1 \
    --benchmark_out="$results/$suite.csv" --benchmark_out_format=csv \
    >"$results/$suite.log" 2>&1 || { cat "$results/$suite.log"; exit 1; }
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# Median time of every benchmark in microseconds, as "name value" lines: CPU time of the
# benchmark's thread, or wall time for those that wait for other threads (real_time).
medians() {
  awk -F, '
    /_median"?,/ {
      name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
      t = (name ~ /\/real_time$/) ? $3 : $4; unit = $5
      if (unit == "ns") t /= 1000; else if (unit == "ms") t *= 1000; else if (unit == "s") t *= 1e6
      printf "%s %.6f\n", name, t
    }' "$@"
}
medians "$results"/codec_benchmarks.csv "$results"/app_benchmarks.csv > "$results/medians.txt"

awk '
  { time[$1] = $2; names[++count] = $1; split($1, part, "/"); if (!(part[1] in seen)) { seen[part[1]] = 1; order[++n] = part[1] } }
  function ratio(a, b) { return (a in time && b in time && time[b] > 0) ? sprintf("%.2f", time[a] / time[b]) : "-" }
  function us(k) { return (k in time) ? sprintf("%.3f", time[k]) : "-" }
  END {
    printf "Codec, median CPU time in microseconds (ratios: lower is faster for the codec)\n"
    printf "%-16s %11s %11s %10s %11s %11s %13s | %8s %8s %8s %8s %9s\n", "message", "encode", "decode", \
      "memcpy", "mp-encode", "mp-decode", "mp-dec+values", "enc/cpy", "dec/cpy", "enc/mp", "dec/mp", "dec/mp+v"
    for (i = 1; i <= n; ++i) {
      m = order[i]
      if (!((m "/encode/codec") in time)) continue
      printf "%-16s %11s %11s %10s %11s %11s %13s | %8s %8s %8s %8s %9s\n", m, \
        us(m "/encode/codec"), us(m "/decode/codec"), us(m "/copy/memcpy"), \
        us(m "/encode/msgpack"), us(m "/decode/msgpack"), us(m "/decode/msgpack+values"), \
        ratio(m "/encode/codec", m "/copy/memcpy"), ratio(m "/decode/codec", m "/copy/memcpy"), \
        ratio(m "/encode/codec", m "/encode/msgpack"), ratio(m "/decode/codec", m "/decode/msgpack"), \
        ratio(m "/decode/codec", m "/decode/msgpack+values")
    }
    printf "\nApp core, median time in microseconds (wall time for real_time, else CPU time)\n"
    for (k = 1; k <= count; ++k) if (names[k] !~ /\/(encode|decode|copy)\//) printf "%-40s %12.3f\n", names[k], time[names[k]]
  }' "$results/medians.txt"

# Channel round trips: medians over the repetitions of each percentile and of the rate.
echo
awk -F, '
  /^name,/ { for (i = 1; i <= NF; ++i) { field = $i; gsub(/"/, "", field); column[field] = i }; next }
  /_median"?,/ {
    name = $1; gsub(/"/, "", name); sub(/_median$/, "", name); sub(/\/real_time$/, "", name)
    if (!printed++) {
      printf "Channel round trips (medians of %s repetitions)\n", reps
      printf "%-28s %10s %10s %10s %16s\n", "direction/bytes", "p50 us", "p90 us", "p99 us", "round trips/s"
    }
    printf "%-28s %10.1f %10.1f %10.1f %16.0f\n", name, $column["p50_us"], $column["p90_us"], \
      $column["p99_us"], $column["items_per_second"]
  }' reps="$repetitions" "$results/channel_benchmarks.csv"
