#!/usr/bin/env bash
# Checks the packages scripts/package.sh made in build/packages/:
#   - the Debian package, unpacked with dpkg-deb -x into a scratch folder: its tervala_app
#     runs the sample application from there (so the package carries every library and the
#     data folder), its programs print the version; desktop-file-validate accepts the
#     desktop entry, and lintian reports no error;
#   - the SDK: installed from the release build into a scratch prefix, the application in
#     examples/tally_app builds against it, installs and runs from another folder; the
#     Debian package tervala-dev holds the same SDK, and lintian reports no error for it;
#   - the Windows SDK archive: examples/tally_app builds against it with the toolchain file it
#     holds, and its app folder runs under Wine;
#   - the Windows installer under Wine: it installs silently for the user, the installed
#     tervala_app.exe runs the sample application and the programs print the version, the
#     version resource carries it, the uninstaller is in the user's Apps list; the silent
#     uninstaller removes the program and the shortcut but leaves the heartbeat folder and a
#     config file the user put beside the program.
# Everything runs inside one X server (xvfb-run when there is no display), as for Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$@"
fi
cd "$root"
version=$(sed -n 's/^project(tervala VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packages=$root/build/packages
deb=$packages/tervala_${version}_amd64.deb
dev_deb=$packages/tervala-dev_${version}_amd64.deb
installer=$packages/tervala-$version-win64-setup.exe
work=$packages/checks
rm -rf "$work"
mkdir -p "$work"

CHECK_NAME=check-packages
. "$root/scripts/check-lib.sh"
# check_versions LABEL RUNNER PROGRAM_DIR SUFFIX: every program prints "NAME VERSION" for
# --version and its usage for --help (tervala_app's names the sample application's
# options), each exiting 0.
check_versions() {
  local label=$1 runner=$2 dir=$3 suffix=$4 program output wrong=
  for program in tervala_app tervala-codec nimbus-config tervala-heartbeat; do
    output=$($runner "$dir/$program$suffix" --version 2>&1) || wrong+=" $program --version(exit $?)"
    [[ ${output%$'\r'} == "$program $version" ]] || wrong+=" $program --version($output)"
    output=$($runner "$dir/$program$suffix" --help 2>&1) || wrong+=" $program --help(exit $?)"
    [[ $output == "usage: $program"* ]] || wrong+=" $program --help($output)"
    [[ $program != tervala_app || $output == *--exit-when-ready* ]] ||
      wrong+=" tervala_app --help(no sample options)"
  done
  if [[ -z $wrong ]]; then
    pass "$label: every program prints version $version for --version and its usage for --help"
  else
    fail "$label: --version/--help wrong for:$wrong"
  fi
}

# runpaths_in DIR: the distinct RUNPATHs of the files in DIR, on one line.
runpaths_in() {
  for file in "$1"/*; do
    if [[ -f $file ]]; then
      readelf -d "$file" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p'
    fi
  done | sort -u | tr '\n' ' ' || true
}

# --- The Debian package.
if [[ -f $deb ]]; then
  pass "${deb#"$root"/} is there ($(($(stat -c %s "$deb") / 1024)) KiB)"
else
  fail "no ${deb#"$root"/}"
fi
unpacked=$work/deb-root
# A missing or broken package fails the checks below one by one.
dpkg-deb -x "$deb" "$unpacked" || mkdir -p "$unpacked"
depends=$(dpkg-deb -f "$deb" Depends) || true
if [[ $depends == *libc6* && $depends == *libflatbuffers* && $depends == *zlib1g* ]]; then
  pass "the package's dependencies were computed: $depends"
else
  fail "the package's dependencies are incomplete: $depends"
fi
mkdir -p "$work/deb-run"
cp bundle/sample/nimbus-services.json "$work/deb-run/"
status=0
(cd "$work/deb-run" &&
   TERVALA_DATA_DIR=$work/deb-data TERVALA_HEADLESS=1 "$unpacked/usr/bin/tervala_app" \
     --exit-when-ready >"$work/deb-run/ready.log" 2>&1) || status=$?
if [[ $status == 0 && -s $work/deb-data/nimbus-heartbeat/heartbeats-__NIMBUSAPP_DEFAULT ]]; then
  pass "the unpacked tervala_app --exit-when-ready exits 0 and writes the heartbeat"
else
  fail "the unpacked tervala_app --exit-when-ready exited $status: $(cat "$work/deb-run/ready.log")"
fi
# Nothing may point into the build tree: the libraries are found beside the executables.
runpaths=$(runpaths_in "$unpacked/usr/lib/tervala")
if [[ $runpaths == '$ORIGIN ' ]]; then
  pass "the package's programs and libraries find their libraries through RUNPATH \$ORIGIN"
else
  fail "the package's RUNPATHs: $runpaths"
fi
check_versions "Debian package" "" "$unpacked/usr/bin" ""
if output=$(desktop-file-validate "$unpacked/usr/share/applications/tervala.desktop" 2>&1) &&
   [[ -z $output ]] && [[ -f $unpacked/usr/share/icons/hicolor/scalable/apps/tervala.svg ]]; then
  pass "desktop-file-validate accepts the desktop entry; its icon is installed"
else
  fail "the desktop entry: $output"
fi
if lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1; then
  pass "lintian reports no error ($(grep -c '^W: ' "$work/lintian.log" || true) warnings)"
else
  fail "lintian: $(grep '^E: ' "$work/lintian.log" || cat "$work/lintian.log")"
fi

# --- An app of its own, installed: the greeter example, left out of the package, is
# installed on its own with `cmake --install --component` and runs from any folder.
if [[ -d $unpacked/usr/lib/greeter || -e $unpacked/usr/bin/greeter ]]; then
  fail "the Debian package carries the greeter example"
else
  pass "the Debian package leaves the examples out"
fi
examples=$work/examples-install
status=0
cmake --install build/release --component examples --prefix "$examples" >"$work/examples-install.log" 2>&1 ||
  status=$?
mkdir -p "$work/greeter-run"
output=$(cd "$work/greeter-run" && TERVALA_DATA_DIR=$work/greeter-run TERVALA_HEADLESS=1 \
           "$examples/bin/greeter" --name=Ada --exit-when-done 2>&1) || status=$?
if [[ $status == 0 && $output == *"greeting: Hello, Ada!"* ]]; then
  pass "the installed greeter example's bundle reaches its plug-in"
else
  fail "the installed greeter example (exit $status): $(cat "$work/examples-install.log") $output"
fi

# --- The SDK: installed from the release build into a scratch prefix (the component
# `development`), the application outside the tree (examples/tally_app) builds against it with
# find_package(Tervala), installs, and its app runs from another folder, its bundle reaching
# its plug-in.
sdk=$work/sdk
launchers=()
if command -v ccache >/dev/null; then
  launchers=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# check_tally LABEL LOG RUNNER PROGRAM: the tally app counts its words in order and refuses
# a request that is not a word.
check_tally() {
  local label=$1 log=$2 runner=$3 program=$4 output status=0
  mkdir -p "$work/tally-run"
  output=$(cd "$work/tally-run" && TERVALA_DATA_DIR=$work/tally-run TERVALA_HEADLESS=1 \
             $runner "$program" --words=tally,sdk,tally --exit-when-done 2>&1) || status=$?
  output=${output//$'\r'/}
  if [[ $status == 0 && $output == *$'tally: 1\nsdk: 1\ntally: 2\nmalformed request: error bad-request: Expected [word], a non-empty string.'* ]]; then
    pass "$label: the example's bundle reaches its plug-in and gets its answers in order"
  else
    fail "$label (exit $status): $(tail -n 20 "$log") $output"
  fi
}
status=0
cmake --install build/release --component development --prefix "$sdk" >"$work/sdk-install.log" 2>&1 ||
  status=$?
if [[ $status == 0 && -f $sdk/lib/cmake/Tervala/TervalaConfig.cmake &&
      $(grep -c "PACKAGE_VERSION \"$version\"" "$sdk/lib/cmake/Tervala/TervalaConfigVersion.cmake") == 1 &&
      -f $sdk/include/tervala/embedding_client/single_channel_plugin.h &&
      -f $sdk/include/tervala/bundle/codec/tervala_codec.h && ! -e $sdk/bin/tervala_app ]]; then
  pass "the SDK installs alone (component development), with its CMake package at version $version"
else
  fail "the SDK's install (exit $status): $(tail -n 20 "$work/sdk-install.log")"
fi
tally_build=$work/tally-build
tally_log=$work/tally-build.log
status=0
{ cmake -S examples/tally_app -B "$tally_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$sdk" "${launchers[@]}" &&
  cmake --build "$tally_build" &&
  cmake --install "$tally_build" --prefix "$work/tally-install"; } >"$tally_log" 2>&1 || status=$?
if [[ $status == 0 ]]; then
  pass "examples/tally_app builds against the installed SDK and installs"
else
  fail "examples/tally_app against the SDK (exit $status): $(tail -n 30 "$tally_log")"
fi
check_tally "the installed tally app" "$tally_log" "" "$work/tally-install/bin/tally"
runpaths=$(runpaths_in "$work/tally-install/lib/tally")
if [[ $runpaths == '$ORIGIN ' ]]; then
  pass "the installed tally app finds its libraries beside itself (RUNPATH \$ORIGIN)"
else
  fail "the installed tally app's RUNPATHs: $runpaths"
fi

# The SDK's Debian package: the same files as the SDK's install, and no lintian error.
if [[ -f $dev_deb ]]; then
  pass "${dev_deb#"$root"/} is there ($(($(stat -c %s "$dev_deb") / 1024)) KiB)"
else
  fail "no ${dev_deb#"$root"/}"
fi
dev_unpacked=$work/dev-deb-root
dpkg-deb -x "$dev_deb" "$dev_unpacked" || mkdir -p "$dev_unpacked/usr"
in_deb=$(cd "$dev_unpacked/usr" && find . -type f ! -path './share/doc/*' | sort)
in_install=$(cd "$sdk" && find . -type f ! -path './share/doc/*' | sort)
if [[ -n $in_deb && $in_deb == "$in_install" ]]; then
  pass "tervala-dev holds the SDK's $(wc -l <<<"$in_deb") files, as its install does"
else
  fail "tervala-dev and the SDK's install differ: $(diff <(echo "$in_deb") <(echo "$in_install") | head -n 20)"
fi
if lintian --fail-on error "$dev_deb" >"$work/lintian-dev.log" 2>&1; then
  pass "lintian reports no error for tervala-dev ($(grep -c '^W: ' "$work/lintian-dev.log" || true) warnings)"
else
  fail "lintian on tervala-dev: $(grep '^E: ' "$work/lintian-dev.log" || cat "$work/lintian-dev.log")"
fi

# --- The Windows installer, under Wine.
wine=$root/scripts/wine.sh
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wine-prefix}
# The prefix is made on first use.
"$wine" cmd /c exit 0 >/dev/null 2>&1 || true
user_dir=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local)
user_dir=${user_dir%/AppData/Local}
install_dir=$user_dir/AppData/Local/Programs/Tervala
shortcut="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tervala.lnk"
heartbeat_dir=$user_dir/AppData/Local/nimbus-heartbeat
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tervala'
# A clean start: nothing of an earlier run.
rm -rf "$install_dir" "$shortcut" "$heartbeat_dir"
"$wine" reg delete "$uninstall_key" /f >/dev/null 2>&1 || true

if [[ -f $installer ]]; then
  pass "${installer#"$root"/} is there ($(($(stat -c %s "$installer") / 1024)) KiB)"
else
  fail "no ${installer#"$root"/}"
fi
status=0
"$wine" "$installer" /S >"$work/install.log" 2>&1 || status=$?
wineserver -w
if [[ $status == 0 && -f $install_dir/tervala_app.exe && -f $install_dir/data/app.so &&
      -f $install_dir/Uninstall.exe && -f $shortcut ]]; then
  pass "the installer /S installs into the user's Programs folder with a Start-menu shortcut"
else
  fail "the installer /S exited $status; installed: $(ls "$install_dir" 2>&1 | tr '\n' ' ')"
fi
registered=$("$wine" reg query "$uninstall_key" 2>&1 | tr -d '\r') || true
if grep -q "DisplayVersion.*$version" <<<"$registered" &&
   grep -q 'UninstallString.*Uninstall.exe' <<<"$registered"; then
  pass "the uninstaller is registered in the user's Apps list (HKCU)"
else
  fail "no uninstall entry in HKCU: $registered"
fi
# The version resource's fixed part: the file and product version as four numbers each.
resource=$(python3 - "$install_dir/tervala_app.exe" <<'PYTHON'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("no version resource")
ms, ls, pms, pls = struct.unpack_from("<4I", data, at + 8)
print(f"{ms >> 16}.{ms & 0xffff}.{ls >> 16}.{ls & 0xffff} {pms >> 16}.{pms & 0xffff}.{pls >> 16}.{pls & 0xffff}")
PYTHON
) || true
if [[ $resource == "$version.0 $version.0" ]]; then
  pass "tervala_app.exe's version resource says $version"
else
  fail "tervala_app.exe's version resource: $resource"
fi
mkdir -p "$work/exe-run"
cp bundle/sample/nimbus-services.json "$work/exe-run/"
status=0
(cd "$work/exe-run" && "$wine" "$install_dir/tervala_app.exe" --exit-when-ready \
   >"$work/exe-run/ready.log" 2>&1) || status=$?
if [[ $status == 0 && -s $heartbeat_dir/heartbeats-__NIMBUSAPP_DEFAULT ]]; then
  pass "the installed tervala_app.exe --exit-when-ready exits 0 and writes the heartbeat"
else
  fail "the installed tervala_app.exe --exit-when-ready exited $status: $(cat "$work/exe-run/ready.log")"
fi
check_versions "Windows installer" "$wine" "$install_dir" .exe

# A config file the user put beside the program is the user's, like the heartbeat.
cp bundle/sample/nimbus-services.json "$install_dir/"
status=0
"$wine" "$install_dir/Uninstall.exe" /S >"$work/uninstall.log" 2>&1 || status=$?
# The uninstaller goes on from a copy of itself in the temporary folder.
wineserver -w
left=$(cd "$install_dir" 2>/dev/null && find . -mindepth 1 | sort | tr '\n' ' ')
if [[ $status == 0 && $left == "./nimbus-services.json " && ! -e $shortcut ]]; then
  pass "the uninstaller /S removes the program files and the shortcut"
else
  fail "after the uninstaller /S (exit $status): left in the folder: $left; shortcut: $(ls "$shortcut" 2>&1)"
fi
if [[ -s $heartbeat_dir/heartbeats-__NIMBUSAPP_DEFAULT && -f $install_dir/nimbus-services.json ]]; then
  pass "the uninstaller leaves the heartbeat folder and the user's config file"
else
  fail "the uninstaller removed user data: $(ls "$heartbeat_dir" 2>&1)"
fi
if ! "$wine" reg query "$uninstall_key" >/dev/null 2>&1; then
  pass "the uninstaller removes its entry in the Apps list"
else
  fail "the Apps list still has $uninstall_key"
fi
rm -rf "$install_dir"

# --- The Windows SDK: the archive, unpacked, builds examples/tally_app with the toolchain file
# inside it, and the app folder runs under Wine, from another folder.
sdk_zip=$packages/tervala-sdk-$version-win64.zip
win_sdk=$work/win-sdk/tervala-sdk-$version-win64
if [[ -f $sdk_zip ]]; then
  pass "${sdk_zip#"$root"/} is there ($(($(stat -c %s "$sdk_zip") / 1024)) KiB)"
else
  fail "no ${sdk_zip#"$root"/}"
fi
mkdir -p "$work/win-sdk"
(cd "$work/win-sdk" && cmake -E tar xf "$sdk_zip") || true
if [[ -f $win_sdk/cmake/toolchains/mingw-w64-x86_64.cmake &&
      -f $win_sdk/lib/cmake/Tervala/TervalaConfig.cmake && -f $win_sdk/lib/tervala-sdk/vela_windows.dll ]]; then
  pass "the archive holds the SDK for MinGW-w64 and its toolchain file"
else
  fail "the archive's content: $(cd "$work/win-sdk" && find . -maxdepth 3 | head -n 20 | tr '\n' ' ')"
fi
tally_win_build=$work/tally-win-build
tally_win_log=$work/tally-win-build.log
status=0
{ cmake -S examples/tally_app -B "$tally_win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    --toolchain "$win_sdk/cmake/toolchains/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$win_sdk" \
    "${launchers[@]}" &&
  cmake --build "$tally_win_build"; } >"$tally_win_log" 2>&1 || status=$?
if [[ $status == 0 && -f $tally_win_build/tally/tally.exe && -f $tally_win_build/tally/tally_plugin.dll ]]; then
  pass "examples/tally_app builds against the Windows SDK archive"
else
  fail "examples/tally_app against the Windows SDK (exit $status): $(tail -n 30 "$tally_win_log")"
fi
rm -rf "$work/tally-win-moved"
cp -r "$tally_win_build/tally" "$work/tally-win-moved" 2>/dev/null || mkdir -p "$work/tally-win-moved"
check_tally "the Windows tally app under Wine" "$tally_win_log" "$wine" "$work/tally-win-moved/tally.exe"

check_summary
