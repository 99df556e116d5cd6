#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs: only the missing ones, so running it
# again is cheap. Works as root on a fresh machine, or through sudo when that exists.
# With the argument "windows" it adds what the Windows build and its runs under Wine need;
# with "package" what making and checking the packages needs (several arguments may be given).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache clang-format
  libgtest-dev libgmock-dev libbenchmark-dev libmsgpack-dev
  libflatbuffers-dev flatbuffers-compiler zlib1g-dev
  libx11-dev libxext-dev libxrandr-dev xvfb xauth xdotool
)
for argument in "$@"; do
  case $argument in
    windows)
      # MinGW-w64 with POSIX threads (std::thread), zlib for it, apt-get source's unpacker,
      # and 64-bit Wine.
      packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev googletest wine wine64)
      ;;
    package)
      # CPack's Debian package (dpkg-shlibdeps, fakeroot), the Windows installer compiler,
      # and the checkers of the package and its desktop entry.
      packages+=(dpkg-dev fakeroot nsis lintian desktop-file-utils)
      ;;
    *)
      echo "setup: unknown argument $argument (windows, package)" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
