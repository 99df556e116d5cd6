#!/usr/bin/env bash
# Line and branch coverage of the code each fuzz target exercises, from its seed corpus
# plus what fuzz/run.sh found (build/fuzz/fuzz/corpus/<target>/). Builds the targets as
# corpus-replaying programs with clang's source-based coverage in build/fuzz-coverage and
# prints llvm-cov's report for the sources behind each target.
#
# usage: fuzz/coverage.sh [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(standard_codec bridge_codec json_config heartbeat_file base64 zlib json_variant
             flexbuffer_variant plugin_channels)
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all_targets[@]}")

# The sources each target is there to exercise.
sources() {
  case $1 in
    standard_codec) echo embedding_client/{byte_streams,standard_codec_serializer,standard_message_codec}.cc ;;
    bridge_codec) echo nimbus_core_plugin/{bridge_internal_codec_serializer,core_initialize_response,core_nimbus_options}.cc ;;
    json_config) echo app/app_options.cc ;;
    heartbeat_file) echo app/heartbeat/{heartbeat_storage,heartbeat_file_posix}.cc ;;
    base64) echo app/heartbeat/base64.cc ;;
    zlib) echo app/heartbeat/{zlib,gzip_header_parser}.cc ;;
    json_variant) echo app/variant/{strict_json,variant_conversions}.cc ;;
    flexbuffer_variant) echo app/variant/variant_conversions.cc ;;
    plugin_channels) echo nimbus_core_plugin/{host_api,nimbus_core_plugin,options_conversion}.cc embedding_client/message_channel.cc ;;
  esac
}

build=build/fuzz-coverage
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j 2 --target tervala_fuzz >/dev/null

for target in "${targets[@]}"; do
  binary=$build/fuzz/fuzz_$target
  profile=$build/fuzz/$target.profraw
  corpora=("fuzz/corpus/$target")
  [[ -d build/fuzz/fuzz/corpus/$target ]] && corpora+=("build/fuzz/fuzz/corpus/$target")
  LLVM_PROFILE_FILE=$profile "$binary" "${corpora[@]}" >/dev/null 2>&1
  llvm-profdata merge -sparse "$profile" -o "$build/fuzz/$target.profdata"
  echo "== $target"
  # shellcheck disable=SC2046
  llvm-cov report "$binary" -instr-profile="$build/fuzz/$target.profdata" \
    -show-region-summary=false -show-instantiation-summary=false $(sources "$target") |
    sed -e "s|$PWD/||"
done
