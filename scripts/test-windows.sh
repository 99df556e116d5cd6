#!/usr/bin/env bash
# Runs the test suites of the Windows build (scripts/build-windows.sh) under Wine, through
# CTest: every test program is started by scripts/wine.sh, which CMake names as the build's
# emulator. Arguments go to ctest (for example -R app_tests, or -j 2).
# Everything runs inside one X server (xvfb-run when there is no display) and with one Wine
# server, made ready before the tests start so that parallel tests share them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$@"
fi
cd "$root"
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wine-prefix}
# Makes the prefix when missing and starts the Wine server for the whole run.
./scripts/wine.sh cmd /c exit 0 >/dev/null 2>&1 || true
wineserver -p10 2>/dev/null || true  # already running: it then stays for the run anyway
status=0
ctest --test-dir build/windows --output-on-failure --timeout 600 "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
