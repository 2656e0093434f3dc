#!/usr/bin/env bash
# Runs every libFuzzer target of the native build for longer than the test pass does.
#   scripts/fuzz.sh [seconds per target] [target name...]   (default: 60 s, every target)
# Corpora grow in build/fuzz/corpus/<target> across runs; inputs that crash are kept in
# build/fuzz/artifacts. Each run is bounded in time and memory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "fuzz.sh: seconds must be a number" >&2; exit 2; }

"$root/scripts/build.sh" --native >/dev/null
mapfile -t targets < <(find "$root/build/native/tests" -type f -executable -name 'fuzz_*' | sort)
if [ $# -gt 0 ]; then
  wanted=" $* "
  selected=()
  for t in "${targets[@]}"; do [[ "$wanted" == *" $(basename "$t") "* ]] && selected+=("$t"); done
  targets=("${selected[@]}")
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no fuzz targets found" >&2; exit 1; }

failed=()
mkdir -p "$root/build/fuzz/artifacts"
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus="$root/build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "=== $name: $seconds s"
  if "$target" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$root/build/fuzz/artifacts/$name-" >"$root/build/fuzz/$name.log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$root/build/fuzz/$name.log" || true
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
