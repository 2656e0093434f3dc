#!/usr/bin/env bash
# Runs the libFuzzer targets for longer than the test pass does, one after another.
#   scripts/fuzz.sh [seconds per target | --runs N] [target name...]   (default: 60 s, every target)
# A target is named as its program is (fuzz_request, fuzz_reply, fuzz_file_list, ...); an unknown
# name is an error. Corpora grow in build/fuzz/corpus/<target> across runs; inputs that crash are
# kept in build/fuzz/artifacts. Each run is bounded in time or count, and in memory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bound=(-max_total_time=60)
names=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) [[ "${2:-}" =~ ^[0-9]+$ ]] || { echo "fuzz.sh: --runs needs a count" >&2; exit 2; }
            bound=(-runs="$2"); shift ;;
    *[!0-9]*) names+=("$1") ;;
    *) bound=(-max_total_time="$1") ;;
  esac
  shift
done

# A tree of its own, optimised (-O2) with the native build's sanitizers: several times the rate of
# the unoptimised native build whose tests run the targets for 5 s each.
tree="$root/build/fuzz/build"
cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
mapfile -t all < <(ninja -C "$tree" -t targets all | sed -n 's/^\(fuzz_[a-z_]*\): phony$/\1/p' | sort)
cmake --build "$tree" --target "${all[@]}" >/dev/null
mapfile -t targets < <(find "$tree/tests" -type f -executable -name 'fuzz_*' | sort)
if [ ${#names[@]} -gt 0 ]; then
  selected=()
  for name in "${names[@]}"; do
    found=""
    for t in "${targets[@]}"; do [ "$(basename "$t")" = "$name" ] && found=$t; done
    [ -n "$found" ] || { echo "fuzz.sh: no target $name (there are: $(printf '%s ' "${targets[@]##*/}"))" >&2; exit 2; }
    selected+=("$found")
  done
  targets=("${selected[@]}")
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no fuzz targets found" >&2; exit 1; }

failed=()
mkdir -p "$root/build/fuzz/artifacts"
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$root/build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "=== $name: ${bound[*]}"
  started=$(date +%s%N)
  if "$target" "$corpus" "${bound[@]}" -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$root/build/fuzz/artifacts/$name-" >"$root/build/fuzz/$name.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$root/build/fuzz/$name.log")
    ms=$(( ($(date +%s%N) - started) / 1000000 ))
    echo "$runs executions in $((ms / 1000)).$(printf '%03d' $((ms % 1000))) s, $(( runs * 1000 / (ms > 0 ? ms : 1) )) exec/s," \
         "$(sed -n 's/^stat::new_units_added: *//p' "$root/build/fuzz/$name.log") new inputs, no finding"
  else
    tail -30 "$root/build/fuzz/$name.log"
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]} (inputs in build/fuzz/artifacts)"
  exit 1
fi
echo "all fuzz targets ran clean"
