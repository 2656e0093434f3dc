#!/usr/bin/env bash
# Builds Pelko: build/windows (pelko.exe, Windows tests, test driver) and, with --native,
# build/native (the portable core's unit tests and fuzz targets under sanitizers).
#   scripts/build.sh [--native] [--windows] [Release|Debug]   (default: both, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
want_native=0 want_windows=0 type=Release
for a in "$@"; do
  case "$a" in
    --native) want_native=1 ;;
    --windows) want_windows=1 ;;
    Release|Debug|RelWithDebInfo) type=$a ;;
    *) echo "build.sh: unknown argument $a" >&2; exit 2 ;;
  esac
done
[ $want_native = 0 ] && [ $want_windows = 0 ] && want_native=1 && want_windows=1
jobs=$(nproc)

if [ $want_windows = 1 ]; then
  cmake -S "$root" -B "$root/build/windows" -G Ninja -DCMAKE_BUILD_TYPE=$type \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/windows" -j "$jobs"
fi
if [ $want_native = 1 ]; then
  cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
fi
