#!/usr/bin/env bash
# Builds the packages with CPack, from the release builds, into build/packages/:
#   tervala_<version>_amd64.deb          the Debian package (the `release` preset)
#   tervala-dev_<version>_amd64.deb      the SDK's Debian package (the same preset)
#   tervala-<version>-win64-setup.exe    the Windows installer (the `windows` preset, NSIS)
#   tervala-sdk-<version>-win64.zip      the SDK for MinGW-w64 (the `windows` preset's
#                                        component development, with the toolchain file)
# Binaries are stripped in both. scripts/check-packages.sh checks them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
./scripts/setup.sh package
jobs=$(nproc)
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}

echo "package: building the release preset"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs" >/dev/null
echo "package: building the windows preset"
./scripts/build-windows.sh -j "$jobs" >/dev/null

out=$root/build/packages
rm -rf "$out"
mkdir -p "$out"
for preset in release windows; do
  echo "package: cpack for $preset"
  # CPack's working files go to its own folder; only the packages are kept.
  cpack --config "build/$preset/CPackConfig.cmake" -B "$out/work-$preset" >"$out/cpack-$preset.log" 2>&1 ||
    { cat "$out/cpack-$preset.log" >&2; exit 1; }
  find "$out/work-$preset" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.exe' \) \
    -exec mv {} "$out/" \;
  rm -rf "$out/work-$preset"
done
# The Windows SDK: the install component development of the windows preset, stripped, with
# the toolchain file it was built with, in one folder of the archive.
version=$(sed -n 's/^project(tervala VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
sdk_name=tervala-sdk-$version-win64
echo "package: $sdk_name.zip"
sdk_stage=$out/work-sdk/$sdk_name
cmake --install build/windows --component development --strip --prefix "$sdk_stage" \
  >"$out/sdk-win64-install.log" 2>&1 || { cat "$out/sdk-win64-install.log" >&2; exit 1; }
mkdir -p "$sdk_stage/cmake/toolchains"
cp cmake/toolchains/mingw-w64-x86_64.cmake "$sdk_stage/cmake/toolchains/"
(cd "$out/work-sdk" && cmake -E tar cf "$out/$sdk_name.zip" --format=zip "$sdk_name")
rm -rf "$out/work-sdk"
ls -l "$out"/*.deb "$out"/*.exe "$out"/*.zip
