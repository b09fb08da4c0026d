#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: apt runs only when a package is
# missing. `setup.sh bench` adds the peer decoders the benchmark compares with; they stay out of
# the plain build and test path (the image I/O library alone pulls in ~150). `setup.sh windows`
# adds the mingw-w64 cross compilers, wine64 and what builds the Windows libraries from Debian's
# sources (make windows, make test-windows, which is the last stage of make test).
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libgtest-dev
  libpng-dev zlib1g-dev libjpeg62-turbo-dev libopenexr-dev
  clang libclang-rt-14-dev valgrind gcovr
  python3
  imagemagick
)
if [ "${1:-}" = windows ]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev dpkg-dev wine64)
fi
if [ "${1:-}" = bench ]; then
  packages+=(
    libspng-dev libstb-dev libturbojpeg0-dev libfreeimage-dev libopenimageio-dev
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
