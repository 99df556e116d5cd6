#!/usr/bin/env bash
# Runs a built Windows program under 64-bit Wine and returns its exit code:
#   scripts/wine.sh PROGRAM [ARGS...]
# The Wine prefix is private to the build (build/windows/wine-prefix, made on first use), so
# runs here never touch a Wine set-up of the user's. Without a display the program runs
# inside xvfb-run. WINEPREFIX and WINEDEBUG from the environment are respected.
set -euo pipefail
if [[ $# -lt 1 ]]; then
  echo "usage: $0 PROGRAM [ARGS...]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wine-prefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: the programs need neither .NET nor an HTML engine.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

wine=$(command -v wine64 || true)
[[ -z $wine && -x /usr/lib/wine/wine64 ]] && wine=/usr/lib/wine/wine64
[[ -z $wine ]] && wine=$(command -v wine)

if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$@"
fi
if [[ ! -e $WINEPREFIX/system.reg ]]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  wineserver -w
fi
exec "$wine" "$@"
