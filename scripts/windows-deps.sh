#!/usr/bin/env bash
# Cross-builds the Windows build's libraries from Debian's own source packages, once per
# target, into a cache that survives between runs:
#   scripts/windows-deps.sh i686|x86_64
# zlib comes ready-made from libz-mingw-w64-dev; libpng, libjpeg-turbo, Imath and OpenEXR are
# built here from `apt-get source` (the script adds the deb-src lines it needs); GoogleTest
# from the sources that libgtest-dev ships. Everything is static, so the DLLs and programs need no others.
# The prefix lands in $VX_WIN_DEPS/<target> (default ~/.cache/vxstills/windows-deps).
set -euo pipefail

target=${1:?usage: windows-deps.sh i686|x86_64}
here=$(cd "$(dirname "$0")/.." && pwd)
cache=${VX_WIN_DEPS:-$HOME/.cache/vxstills/windows-deps}
prefix=$cache/$target
stamp=$prefix/.complete-v2
[ -f "$stamp" ] && exit 0

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
src_list=/etc/apt/sources.list.d/vxstills-deb-src.sources
if ! apt-get source --print-uris -qq libpng1.6 >/dev/null 2>&1; then
  echo "windows-deps: adding Debian's source lines ($src_list)"
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
    | $sudo_cmd tee "$src_list" >/dev/null
  $sudo_cmd apt-get update -qq
fi

sources=$cache/src
mkdir -p "$sources" "$prefix"
fetch() {  # fetch SOURCEPACKAGE: unpacks Debian's source once, prints its directory
  local dir
  dir=$(find "$sources" -maxdepth 1 -type d -name "$1-*" | head -n1)
  if [ -z "$dir" ]; then
    # Newest version first; the mirror may lack the newest source (security updates), then
    # the one before it is taken.
    local version
    for version in $(apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -rV); do
      (cd "$sources" && apt-get source -qq "$1=$version" >/dev/null 2>&1) && break
    done
    dir=$(find "$sources" -maxdepth 1 -type d -name "$1-*" | head -n1)
    [ -n "$dir" ] || { echo "windows-deps: no source of $1 could be fetched" >&2; exit 1; }
  fi
  echo "$dir"
}

toolchain=$here/cmake/mingw-$target.cmake
cmake_lib() {  # cmake_lib NAME SOURCEDIR ARGS...: once per library
  local name=$1 dir=$2; shift 2
  local build=$cache/build-$target-$name
  [ -f "$prefix/.built-$name" ] && return 0
  rm -rf "$build"
  cmake -S "$dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" "$@" >/dev/null
  cmake --build "$build" -j "${JOBS:-2}" >/dev/null
  cmake --install "$build" >/dev/null
  rm -rf "$build"
  touch "$prefix/.built-$name"
}

echo "windows-deps: building libjpeg-turbo, libpng, Imath, OpenEXR and GoogleTest for $target into $prefix"
cmake_lib jpeg "$(fetch libjpeg-turbo)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JPEG8=OFF
cmake_lib png "$(fetch libpng1.6)" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF -DPNG_BUILD_ZLIB=OFF -DSKIP_INSTALL_PROGRAMS=ON
cmake_lib imath "$(fetch imath)" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
  -DPYTHON=OFF -DIMATH_INSTALL_PKG_CONFIG=ON
cmake_lib openexr "$(fetch openexr)" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
  -DOPENEXR_BUILD_TOOLS=OFF -DOPENEXR_INSTALL_EXAMPLES=OFF -DOPENEXR_INSTALL_TOOLS=OFF \
  -DOPENEXR_INSTALL_PKG_CONFIG=ON
cmake_lib gtest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON \
  -Dgtest_disable_pthreads=OFF
touch "$stamp"
