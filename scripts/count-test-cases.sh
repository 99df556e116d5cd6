#!/usr/bin/env bash
# Counts the test cases of each CTest entry of a build: scripts/count-test-cases.sh PRESET
# (asan, tsan or windows; the windows programs are listed under Wine). Prints one line per
# test program, "name cases", and the total.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:?usage: $0 PRESET}
build=$root/build/$preset
total=0
# ctest --show-only=json-v1 names each test's command (the program and its emulator, if any)
# and its environment, which may hold a GTEST_FILTER that leaves cases out.
while IFS=$'\t' read -r name command; do
  [[ -z $name ]] && continue
  cases=$(eval "$command --gtest_list_tests" 2>/dev/null | tr -d '\r' | grep -c '^  ' || true)
  printf '%-28s %5d\n' "$name" "$cases"
  total=$((total + cases))
done < <(ctest --test-dir "$build" --show-only=json-v1 | python3 -c '
import json, shlex, sys
for test in json.load(sys.stdin)["tests"]:
    properties = {p["name"]: p["value"] for p in test.get("properties", [])}
    if "fuzz" in properties.get("LABELS", []): continue
    command = ["env"] + properties.get("ENVIRONMENT", []) + test["command"]
    print(test["name"] + "\t" + " ".join(shlex.quote(c) for c in command))')
printf '%-28s %5d\n' total "$total"
