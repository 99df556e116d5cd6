#!/usr/bin/env bash
# Checks the Windows build (scripts/build-windows.sh) under Wine:
#   - the executable imports vela_windows.dll, carries its manifest and exports the two
#     plug-in registration functions; each DLL exports only its API;
#   - tervala_app.exe --exit-when-ready exits 0 and writes the default app's heartbeat in
#     the Wine prefix's local app-data folder; without data\ it exits 1 and says why;
#   - its window shows exactly the frame the sample application drew, and WM_CLOSE ends
#     it with exit code 0 (a screenshot goes to build/windows/checks/screenshot.ppm);
#   - input sent as the user's (SendInput): a name typed in the sample's field and a click
#     on "Create app" create that app (its heartbeat file appears) and change the window;
#     Escape ends the program with exit code 0 (build/windows/checks/input.ppm);
#   - tervala-codec.exe gives the same bytes as the Linux build; nimbus-config.exe and
#     tervala-heartbeat.exe open paths with non-ASCII characters.
# Everything runs inside one X server (xvfb-run when there is no display), so the probe
# sees the program's window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$@"
fi
cd "$root"
bin=$root/build/windows/bin
probe=$root/build/windows/checks/window_probe.exe
wine=$root/scripts/wine.sh
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wine-prefix}
work=$root/build/windows/checks/run
rm -rf "$work"
mkdir -p "$work"

CHECK_NAME=check-windows
. "$root/scripts/check-lib.sh"

objdump=x86_64-w64-mingw32-objdump
# The names a PE file exports, one a line.
exports() { "$objdump" -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
              sed -n 's/^\s*\[\s*[0-9]*\] \(.*\)$/\1/p' | sort; }

# --- The files.
if [[ $("$objdump" -p "$bin/tervala_app.exe") == *"DLL Name: vela_windows.dll"* ]]; then
  pass "tervala_app.exe imports vela_windows.dll"
else
  fail "tervala_app.exe does not import vela_windows.dll"
fi
if grep -aq '<dpiAwareness[^>]*>PerMonitorV2</dpiAwareness>' "$bin/tervala_app.exe" &&
   grep -aq 'requestedExecutionLevel level="asInvoker"' "$bin/tervala_app.exe" &&
   grep -aq '<longPathAware[^>]*>true</longPathAware>' "$bin/tervala_app.exe"; then
  pass "tervala_app.exe carries its manifest (PerMonitorV2, asInvoker, longPathAware)"
else
  fail "tervala_app.exe has no manifest"
fi
app_exports=$(exports "$bin/tervala_app.exe")
if [[ $(grep -c . <<<"$app_exports") == 2 ]] &&
   grep -qx 'NimbusCorePluginCApiRegisterWithRegistrar' <<<"$app_exports" &&
   grep -q 'RegisterVelaNimbusPlugin' <<<"$app_exports"; then
  pass "tervala_app.exe exports the two registration functions and nothing else"
else
  fail "tervala_app.exe exports: $app_exports"
fi
if ! exports "$bin/vela_windows.dll" | grep -qv '^VelaDesktop'; then
  pass "vela_windows.dll exports only VelaDesktop* functions"
else
  fail "vela_windows.dll exports more: $(exports "$bin/vela_windows.dll" | grep -v '^VelaDesktop' | head -5)"
fi
for plugin in permissions_windows_plugin:PermissionsWindowsPluginRegisterWithRegistrar \
              link_opener_windows_plugin:LinkOpenerWindowsRegisterWithRegistrar \
              greeter_plugin:GreeterPluginRegisterWithRegistrar; do
  dll=${plugin%%:*}
  if [[ $(exports "$bin/$dll.dll") == "${plugin#*:}" ]]; then
    pass "$dll.dll exports only ${plugin#*:}"
  else
    fail "$dll.dll exports: $(exports "$bin/$dll.dll" | head -5)"
  fi
done

# --- Start and exit.
# The prefix is made on first use; its user folder must exist before it is looked up.
"$wine" cmd /c exit 0 >/dev/null 2>&1 || true
heartbeat_dir=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local)/nimbus-heartbeat
rm -rf "$heartbeat_dir"
cp bundle/sample/nimbus-services.json "$work/"
status=0
(cd "$work" && "$wine" "$bin/tervala_app.exe" --exit-when-ready >"$work/ready.log" 2>&1) ||
  status=$?
if [[ $status == 0 ]]; then
  pass "tervala_app.exe --exit-when-ready exits 0"
else
  fail "tervala_app.exe --exit-when-ready exited $status: $(cat "$work/ready.log")"
fi
if [[ -s $heartbeat_dir/heartbeats-__NIMBUSAPP_DEFAULT ]]; then
  pass "the default app's heartbeat is in ${heartbeat_dir#"$root"/}"
else
  fail "no heartbeat file in $heartbeat_dir"
fi

nodata=$root/build/windows/checks/nodata
rm -rf "$nodata"
mkdir -p "$nodata"
find "$bin" -maxdepth 1 -type f -exec cp {} "$nodata/" \;
status=0
output=$(cd "$work" && "$wine" "$nodata/tervala_app.exe" --exit-when-ready 2>&1) || status=$?
if [[ $status == 1 ]] && grep -q '^Failed to create view controller\.' <<<"$output"; then
  pass "without data\\ tervala_app.exe exits 1 with \"Failed to create view controller.\""
else
  fail "without data\\ tervala_app.exe exited $status: $output"
fi

# --- The window: what it shows, and closing it.
rm -f "$work/frame.ppm"
(cd "$work" && VELA_FRAME_DUMP=frame.ppm "$wine" "$bin/tervala_app.exe" >"$work/window.log" 2>&1) &
app=$!
if (cd "$work" && "$wine" "$probe" match frame.ppm screenshot.ppm 60); then
  pass "the window shows the frame the sample application drew"
else
  fail "the window does not show the application's frame"
fi
cp -f "$work/screenshot.ppm" "$root/build/windows/checks/screenshot.ppm" 2>/dev/null || true
(cd "$work" && "$wine" "$probe" close) || fail "the window could not be sent WM_CLOSE"
status=0
wait "$app" || status=$?
if [[ $status == 0 ]]; then
  pass "WM_CLOSE ends tervala_app.exe with exit code 0"
else
  fail "after WM_CLOSE tervala_app.exe exited $status: $(cat "$work/window.log")"
fi

# --- Input: type an app name, click "Create app", press Escape.
input_app=wine-input
rm -f "$heartbeat_dir/heartbeats-$input_app"
(cd "$work" && TERVALA_LINK_OPENER_DRY_RUN=1 "$wine" "$bin/tervala_app.exe" >"$work/input.log" 2>&1) &
app=$!
drive() { (cd "$work" && "$wine" "$probe" "$@"); }
# The start-up answers are drawn once the window has settled; the new app takes the default
# app's options from them.
if drive wait 60 >/dev/null && drive settled start.ppm 30 &&
   drive click "type an app name" >/dev/null && drive type "$input_app" &&
   drive settled typed.ppm 30 && drive click "Create app" >/dev/null; then
  for _ in $(seq 60); do
    [[ -s $heartbeat_dir/heartbeats-$input_app ]] && break
    sleep 0.5
  done
  if [[ -s $heartbeat_dir/heartbeats-$input_app ]]; then
    pass "a name typed and a click on \"Create app\" create the app: heartbeats-$input_app"
  else
    fail "no heartbeat file of the app $input_app after the click: $(ls "$heartbeat_dir")"
  fi
  if drive changed typed.ppm input.ppm 30 >/dev/null; then
    pass "the window changes after the click"
  else
    fail "the window did not change after the click"
  fi
  cp -f "$work/input.ppm" "$root/build/windows/checks/input.ppm" 2>/dev/null || true
else
  fail "the sample's window could not be driven: $(cat "$work/input.log")"
fi
drive key escape || true
for _ in $(seq 60); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "$app" 2>/dev/null; then
  fail "Escape did not close the window"
  drive close || true
fi
status=0
wait "$app" || status=$?
if [[ $status == 0 ]]; then
  pass "tervala_app.exe ends with exit code 0 after Escape"
else
  fail "after Escape tervala_app.exe exited $status: $(cat "$work/input.log")"
fi

# --- The tools.
linux_codec=
for preset in asan release dev; do
  [[ -x build/$preset/tools/tervala-codec ]] && linux_codec=build/$preset/tools/tervala-codec && break
done
messages=(
  '{"list":[{"str":"line\nbreak"},{"i32":10},{"u8":"0a0d0a0d"},{"str_hex":"0d0a"}]}'
  '{"map":[[{"str":"k"},{"f64":2.5}],[{"i64":-1},{"list":[null,true,{"i64s":[10,13]}]}]]}'
)
for message in "${messages[@]}"; do
  # JSON -> bytes -> JSON -> bytes under Wine: both byte strings must be equal, and equal to
  # what the Linux build makes of the same JSON.
  if ! "$wine" "$bin/tervala-codec.exe" encode <<<"$message" >"$work/windows.bin" 2>"$work/codec.err" ||
     ! "$wine" "$bin/tervala-codec.exe" decode <"$work/windows.bin" >"$work/windows.json" 2>>"$work/codec.err" ||
     ! "$wine" "$bin/tervala-codec.exe" encode <"$work/windows.json" >"$work/again.bin" 2>>"$work/codec.err"; then
    fail "tervala-codec.exe failed on $message: $(cat "$work/codec.err")"
    continue
  fi
  if ! cmp -s "$work/windows.bin" "$work/again.bin"; then
    fail "tervala-codec.exe does not round-trip $message"
  elif [[ -z $linux_codec ]]; then
    pass "tervala-codec.exe round-trips $(stat -c %s "$work/windows.bin") bytes (no Linux build to compare with)"
  elif "$linux_codec" encode <<<"$message" >"$work/linux.bin" &&
       cmp -s "$work/windows.bin" "$work/linux.bin" &&
       [[ $(cat "$work/windows.json") == "$("$linux_codec" decode <"$work/linux.bin")" ]]; then
    pass "tervala-codec.exe round-trips $(stat -c %s "$work/windows.bin") bytes as the Linux build does"
  else
    fail "tervala-codec.exe and $linux_codec differ on $message"
  fi
done

unicode=$work/Konfiguration-äöü-日本
mkdir -p "$unicode"
cp bundle/sample/nimbus-services.json "$unicode/nimbus-services.json"
if output=$("$wine" "$bin/nimbus-config.exe" "$unicode/nimbus-services.json" 2>&1) &&
   grep -q '"project_id":"tervala-sample"' <<<"$output"; then
  pass "nimbus-config.exe reads a config file in a folder named ${unicode##*/}"
else
  fail "nimbus-config.exe could not read $unicode/nimbus-services.json: $output"
fi
cp "$heartbeat_dir/heartbeats-__NIMBUSAPP_DEFAULT" "$unicode/heartbeats-ünïcødé" 2>/dev/null || true
if output=$("$wine" "$bin/tervala-heartbeat.exe" show "$unicode/heartbeats-ünïcødé" 2>&1) &&
   grep -q 'heartbeats' <<<"$output"; then
  pass "tervala-heartbeat.exe shows a heartbeat file named heartbeats-ünïcødé"
else
  fail "tervala-heartbeat.exe could not show $unicode/heartbeats-ünïcødé: $output"
fi

check_summary
