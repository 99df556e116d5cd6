#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs: only the missing ones, so running it
# again is cheap. Works as root on a fresh machine, or through sudo when that exists.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache clang-format
  libgtest-dev libgmock-dev libbenchmark-dev libmsgpack-dev
  libflatbuffers-dev flatbuffers-compiler zlib1g-dev
  libx11-dev libxext-dev libxrandr-dev xvfb xauth
)

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
