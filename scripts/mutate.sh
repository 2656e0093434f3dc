#!/usr/bin/env bash
# Mutation check of the test suite: applies, one at a time, the small plausible bugs listed in
# scripts/mutants.txt to the program, rebuilds, runs the tests that should see the bug and
# prints whether they did. Every mutant must be caught; the source is restored after each one.
#   scripts/mutate.sh [mutant names...]        (default: every mutant of the list)
# Needs the builds (scripts/build.sh) and, for lan mutants, root. Exit status 1 when a mutant
# survived or could not be applied.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
list="$root/scripts/mutants.txt"
jobs=$(nproc)
log="$root/build/mutate-log.txt"
mkdir -p "$root/build"; : >"$log"

# Applies (or, with --check, only finds) mutant $1: prints level, tests and file, tab-separated; the file's
# original is kept in $file.unmutated.
apply() {
  python3 - "$list" "$root" "$@" <<'EOF'
import sys, pathlib
path, root, name = sys.argv[1], pathlib.Path(sys.argv[2]), sys.argv[3]
check = len(sys.argv) > 4
mutants, cur = {}, None
for raw in open(path, encoding="utf-8"):
    line = raw.rstrip("\n")
    if line.startswith("mutant "):
        _, mname, level, tests, file = line.split(None, 4)
        cur = mutants[mname] = dict(level=level, tests=tests, file=file, old=None, new=None)
    elif cur is not None and line.startswith("- "):
        cur["old"] = line[2:].replace("<NL>", "\n")
    elif cur is not None and line.startswith("+ "):
        cur["new"] = line[2:].replace("<NL>", "\n")
if name == "--names":
    print(" ".join(mutants)); sys.exit(0)
m = mutants.get(name)
if m is None or m["old"] is None or m["new"] is None:
    sys.exit(f"{name}: not in the list or without its - and + lines")
target = root / m["file"]
text = target.read_text(encoding="utf-8")
if text.count(m["old"]) != 1:
    sys.exit(f"{name}: the text to change occurs {text.count(m['old'])} times in {m['file']}")
if not check:
    pathlib.Path(str(target) + ".unmutated").write_text(text, encoding="utf-8")
    target.write_text(text.replace(m["old"], m["new"]), encoding="utf-8")
print(f"{m['level']}\t{m['tests']}\t{m['file']}")
EOF
}

restore() {
  local file="$root/$1"
  [ -f "$file.unmutated" ] && mv -f "$file.unmutated" "$file"
  # The restored file is older than the mutant's objects: make the next build see it.
  touch "$file"
}

# Runs the tests of one level; status 0 when they all passed.
run_level() {
  local level=$1 tests=$2
  case "$level" in
    native)
      cmake --build "$root/build/native" -j "$jobs" >>"$log" 2>&1 || return 2
      (cd "$root/build/native" && ctest -j "$jobs" -L native -R "$tests") >>"$log" 2>&1 ;;
    windows)
      cmake --build "$root/build/windows" -j "$jobs" >>"$log" 2>&1 || return 2
      rm -rf "$root/build/mutate-prefix" && cp -a "$root/build/wineprefix" "$root/build/mutate-prefix"
      "$root/scripts/sandbox.sh" --name mutate --display --prefix "$root/build/mutate-prefix" -- \
        bash -c "cd '$root/build/windows' && ctest -j 1 -L windows -R '$tests'" >>"$log" 2>&1 ;;
    install)
      cmake --build "$root/build/windows" -j "$jobs" >>"$log" 2>&1 || return 2
      rm -rf "$root/build/mutate-prefix" && cp -a "$root/build/wineprefix" "$root/build/mutate-prefix"
      "$root/scripts/sandbox.sh" --name mutate --display --prefix "$root/build/mutate-prefix" -- \
        "$root/tests/install/install-test.sh" "$root/build/windows" >>"$log" 2>&1 ;;
    lan)
      cmake --build "$root/build/windows" -j "$jobs" >>"$log" 2>&1 || return 2
      # shellcheck disable=SC2086
      "$root/tests/lan/run.sh" ${tests//,/ } >>"$log" 2>&1 ;;
  esac
}

names=("$@")
[ ${#names[@]} -eq 0 ] && read -r -a names <<<"$(apply --names)"
[ -f "$root/build/wineprefix/system.reg" ] || "$root/scripts/wine-prefix.sh" "$root/build/wineprefix" >>"$log" 2>&1

current=""
trap '[ -n "$current" ] && restore "$current"' EXIT
trap 'exit 130' INT TERM
caught=0 survived=() broken=()
start=$SECONDS
for name in "${names[@]}"; do
  if ! info=$(apply "$name" 2>>"$log"); then
    broken+=("$name"); printf '%-40s NOT APPLIED (see %s)\n' "$name" "$log"; continue
  fi
  IFS=$'\t' read -r level tests file <<<"$info"   # a regex may hold '|', never a tab
  current=$file
  echo "=== $name ($level: $tests)" >>"$log"
  t0=$SECONDS
  run_level "$level" "$tests"; status=$?
  restore "$file"; current=""
  if [ $status = 2 ]; then
    broken+=("$name"); verdict="DID NOT BUILD"
  elif [ $status = 0 ]; then
    survived+=("$name"); verdict="SURVIVED"
  else
    caught=$((caught + 1)); verdict="caught"
  fi
  printf '%-40s %-8s %-14s %4d s\n' "$name" "$level" "$verdict" $((SECONDS - t0))
done

# Leave the builds as the unmutated source makes them.
for b in native windows; do
  [ -d "$root/build/$b" ] && cmake --build "$root/build/$b" -j "$jobs" >>"$log" 2>&1
done
rm -rf "$root/build/mutate-prefix"
echo "$caught of ${#names[@]} mutants caught in $((SECONDS - start)) s"
[ ${#survived[@]} -gt 0 ] && echo "survived: ${survived[*]}"
[ ${#broken[@]} -gt 0 ] && echo "not applied or not built: ${broken[*]}"
[ ${#survived[@]} -eq 0 ] && [ ${#broken[@]} -eq 0 ]
