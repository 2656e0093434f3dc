#!/usr/bin/env bash
# Checksum throughput in MB/s: CChecksum on each of its paths next to zlib's crc32 and to merely
# reading the same 64 MiB buffer, in the same run; natively (g++ and clang++, -O2, no
# sanitizers) and the Windows build (mingw-w64 g++, -O2, static zlib) under Wine, inside a
# sandbox with a copy of the prepared prefix. Prints figures; asserts nothing about speed.
#   scripts/bench-checksum.sh [rounds]   (default 31; each contender reports its median and best round)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-31}
[[ "$rounds" =~ ^[0-9]+$ ]] || { echo "bench-checksum.sh: rounds must be a number" >&2; exit 2; }
"$root/scripts/setup-debian.sh"
out="$root/build/bench"
mkdir -p "$out"
sources=("$root/bench/protocol/ChecksumBench.cpp" "$root/src/protocol/Checksum.cpp" "$root/src/protocol/ChecksumFold.cpp")
flags=(-std=c++20 -O2 -I"$root/src")

g++ "${flags[@]}" "${sources[@]}" -lz -o "$out/checksum_bench_gcc"
clang++ "${flags[@]}" "${sources[@]}" -lz -o "$out/checksum_bench_clang"
x86_64-w64-mingw32-g++-posix "${flags[@]}" "${sources[@]}" -static -lz -o "$out/checksum_bench.exe"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "--- native, g++ $(g++ -dumpversion)"
"$out/checksum_bench_gcc" "$rounds"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "--- native, clang++ $(clang++ -dumpversion)"
"$out/checksum_bench_clang" "$rounds"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "--- Windows build (mingw-w64 g++ $(x86_64-w64-mingw32-g++-posix -dumpversion)) under $(wine --version 2>/dev/null || echo Wine)"
"$root/scripts/wine-prefix.sh" "$root/build/wineprefix"
prefix="$out/wineprefix"
rm -rf "$prefix" && cp -a "$root/build/wineprefix" "$prefix"
trap 'rm -rf "$prefix"' EXIT
status=0
"$root/scripts/sandbox.sh" --name pelkobench --prefix "$prefix" -- \
  bash -c "wine '$out/checksum_bench.exe' $rounds > '$out/wine.txt' 2>&1" || status=$?
tr -d '\r' < "$out/wine.txt"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
