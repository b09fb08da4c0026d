#!/usr/bin/env bash
# The Windows builds, cross-compiled with Debian's mingw-w64 from this tree:
#   scripts/windows.sh build   vxstills.dll, vxhost.exe and the test programs for i686 and
#                              x86-64 in build-win32/ and build-win64/ (make windows)
#   scripts/windows.sh test    build, check both DLLs' exports, then run the x86-64 build's
#                              unit tests and vxhost tests under wine64 and compare
#                              vxhost.exe decode --raw of every demo sample with the Linux
#                              build's (make test-windows, the last stage of make test)
# The libraries they link are built once from Debian's sources (scripts/windows-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-build}
jobs=${JOBS:-2}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

declare -A dirs=([i686]=build-win32 [x86_64]=build-win64)
for target in i686 x86_64; do
  dir=${dirs[$target]}
  start=$SECONDS
  scripts/windows-deps.sh "$target"
  echo "windows: $target libraries ready ($((SECONDS - start)) s)"
  start=$SECONDS
  # -O2 as on Linux (GCC 12 at -O3 reports a false -Wrestrict in std::string).
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$target.cmake" "${launcher[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "windows: $target built in $dir ($((SECONDS - start)) s)"
done
[ "$mode" = build ] && exit 0

# The C exports of both DLLs: exactly the contract's four, by plain names.
expected=$'DllCanUnloadNow\nDllGetClassObject\nDllInitClasses\nStillsBufferPool_Create'
for target in i686 x86_64; do
  dll=${dirs[$target]}/vxstills.dll
  exports=$(objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            sed -n 's/^\t\[ *[0-9]*\] \([A-Za-z_][A-Za-z0-9_]*\)$/\1/p' | grep -v '^_Z' | sort)
  if [ "$exports" != "$expected" ]; then
    echo "windows: $dll exports other C names than the contract's:" >&2
    echo "$exports" >&2
    exit 1
  fi
  echo "windows: $dll exports exactly the contract's C entry points (and the exported classes)"
done

# Tests that pin Linux behaviour rather than the module's, left out under Windows:
skip=(
  # the Linux layer's own conventions, where the system's Win32 answers otherwise
  'GlobalMemory.SmallAndLargeBlocksStartZeroed'     # GlobalSize of an empty block is 1
  'GlobalMemory.AbsurdSizesFailWithoutAllocating'   # the system commits lazily: 5 GiB succeeds
  'CodePage.UnmappableCharactersBecomeTheDefault'   # a surrogate pair gives two default chars
  'CodePage.FollowsTheWin32LengthConventions'
  'CodePage.RefusesBadArguments'
  'CodePage.Utf8ReplacesEachInvalidSequenceOnce'
  'ExifMetaDataHelper.DateStringsRoundTheLocalTimeZone'  # sets TZ, which Win32 local time ignores
  # a file the module holds open without write or delete sharing, which Windows then refuses
  'StillReadFileTest.OpenTwiceDoesNotTouchTheFileAgain'  # deletes it
  'PngReader.FileThatShrinksAfterOpenFailsTheFrameCleanly'  # shrinks it
  # Linux programs and files
  'Sidecar.WriteThatFailsAfterCreatingLeavesNoTrace'  # links the temporary name to /dev/full
  'VxhostRender.EveryFormatsSampleTakesAndPassesOnItsMetadata'  # runs vxsamples through sh
  'BitmapHost.FilesWrittenByARealToolDecodeToItsPixels'  # runs ImageMagick's convert through sh
  'VxhostLayers.DocumentsWrittenByARealToolDecodeToItsMergedImageAndLayers'  # the same, for layered documents
)
filter="-$(IFS=:; echo "${skip[*]}")"

# The x86-64 build's tests under wine64, in a Wine prefix of the build's own.
wine=/usr/lib/wine/wine64
export WINEPREFIX=$PWD/build-win64/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# (A failed first start shows in the test programs, which make the prefix themselves.)
[ -d "$WINEPREFIX" ] || "$wine" wineboot --init >/dev/null 2>&1 || true
failed=0
start=$SECONDS
for program in build-win64/vxtests_*.exe; do
  echo "windows: $program under wine64"
  if ! VX_BUILD_DIR=build-win64 "$wine" "$program" --gtest_brief=1 --gtest_filter="$filter"; then
    failed=1
  fi
done

echo "windows: test programs under wine64 ($((SECONDS - start)) s)"

# vxhost.exe decode --raw of every demo sample writes the same bytes as the Linux build's vxhost
# (the Linux build in $BUILD, default build/, writes the samples).
linux=${BUILD:-build}
check=build-win64/samples-check
rm -rf "$check" && mkdir -p "$check"
"$linux/vxsamples" "$check/samples" >/dev/null
same=0 differ=0
for sample in "$check"/samples/*; do
  name=$(basename "$sample")
  "$linux/vxhost" decode "$sample" -o "$check/$name.linux.png" --raw "$check/$name.linux.bin" >/dev/null
  if "$wine" build-win64/vxhost.exe decode "$sample" -o "$check/$name.win.png" \
       --raw "$check/$name.win.bin" >/dev/null && cmp -s "$check/$name.linux.bin" "$check/$name.win.bin"; then
    same=$((same + 1))
  else
    echo "windows: vxhost.exe decodes $name to other bytes than vxhost" >&2
    differ=$((differ + 1))
  fi
done
echo "windows: vxhost.exe decode --raw under wine64: $same samples the same as on Linux, $differ different"
[ "$differ" -eq 0 ] || failed=1

/usr/lib/wine/wineserver -k 2>/dev/null || true
exit $failed
