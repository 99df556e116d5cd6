#!/usr/bin/env bash
# Cross-builds tervala_app for 64-bit Windows with MinGW-w64 into build/windows/.
#
# Installs what is missing (the MinGW-w64 compiler, zlib for MinGW, Wine, Xvfb), builds the
# two dependencies Debian has no MinGW package of into a cached prefix (build/windows-deps/):
# FlatBuffers' library from Debian's own flatbuffers source package, at the version of the
# host's flatc, and GoogleTest from the sources Debian installs under /usr/src. Then it
# configures and builds the `windows` preset. Arguments go to the build (a target, -j N).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
./scripts/setup.sh windows

deps=$root/build/windows-deps
toolchain=$root/cmake/toolchains/mingw-w64-x86_64.cmake
jobs=$(nproc)

# Builds one CMake project into the prefix: build_dependency NAME SOURCE_DIR [CMAKE ARGS...]
build_dependency() {
  local name=$1 source=$2
  shift 2
  echo "build-windows: building $name for MinGW-w64"
  cmake -S "$source" -B "$deps/build/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" "$@" >/dev/null
  cmake --build "$deps/build/$name" -j "$jobs" >/dev/null
  cmake --install "$deps/build/$name" >/dev/null
}

# FlatBuffers: the source package whose version is that of the installed flatc, so the
# generated code and the library agree. The package lists live in a private apt state, so
# the machine's own sources are left as they are.
flatbuffers_version=$(dpkg-query -W -f='${Version}' flatbuffers-compiler)
stamp=$deps/flatbuffers-$flatbuffers_version.stamp
if [[ ! -e $stamp ]]; then
  apt_state=$deps/apt
  mkdir -p "$apt_state/lists/partial" "$deps/src"
  . /etc/os-release
  echo "deb-src http://deb.debian.org/debian $VERSION_CODENAME main" >"$apt_state/sources.list"
  apt_options=(-o Dir::Etc::SourceList="$apt_state/sources.list" -o Dir::Etc::SourceParts=/dev/null
               -o Dir::State::Lists="$apt_state/lists" -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" update -qq
  rm -rf "$deps/src/flatbuffers"
  mkdir -p "$deps/src/flatbuffers"
  (cd "$deps/src/flatbuffers" &&
     apt-get "${apt_options[@]}" source -qq "flatbuffers=$flatbuffers_version" >/dev/null)
  source_dir=$(find "$deps/src/flatbuffers" -mindepth 1 -maxdepth 1 -type d -name 'flatbuffers-*')
  build_dependency flatbuffers "$source_dir" -DFLATBUFFERS_BUILD_TESTS=OFF \
    -DFLATBUFFERS_BUILD_FLATC=OFF -DFLATBUFFERS_BUILD_FLATHASH=OFF -DFLATBUFFERS_BUILD_FLATLIB=ON
  touch "$stamp"
fi

# GoogleTest and GoogleMock, from the sources of the installed libgtest-dev.
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
stamp=$deps/googletest-$gtest_version.stamp
if [[ ! -e $stamp ]]; then
  build_dependency googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
    -Dgtest_disable_pthreads=OFF
  touch "$stamp"
fi

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" "$@"
