#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests and fuzz runs of the portable core,
# Windows tests under Wine (in a sandbox), the installer package under Wine (in a sandbox), and the
# LAN tests (several sandboxed hosts).
#   scripts/test.sh [native|windows|install|lan]...   (default: all four levels)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
levels=("$@")
[ ${#levels[@]} -eq 0 ] && levels=(native windows install lan)
jobs=$(nproc)

"$root/scripts/setup-debian.sh" || exit 1
"$root/scripts/build.sh" >"$root/build-log.txt" 2>&1 || { tail -50 "$root/build-log.txt"; echo "build failed"; exit 1; }

failed=()
for level in "${levels[@]}"; do
  echo "=== $level tests"
  case "$level" in
    native)
      # The includes point one way and close no circle; a new back arrow fails the level.
      "$root/scripts/check-includes.sh" || failed+=(native)
      (cd "$root/build/native" && ctest --output-on-failure -j "$jobs" -L native) || failed+=(native)
      ;;
    windows)
      "$root/scripts/wine-prefix.sh" "$root/build/wineprefix" || { failed+=(windows); continue; }
      # One at a time: the tests share one desktop, clipboard and registry, and a test that
      # empties the clipboard while another serves it makes both fail now and then. Wine's
      # server now and then kills a test process at its exit after the test has passed
      # ("Subprocess killed"); a second run tells such a kill from a failure.
      rm -rf "$root/build/wintest-prefix" && cp -a "$root/build/wineprefix" "$root/build/wintest-prefix"
      "$root/scripts/sandbox.sh" --name wintest --display --prefix "$root/build/wintest-prefix" -- \
        bash -c "cd '$root/build/windows' && ctest --output-on-failure -j 1 -L windows --repeat until-pass:2" || failed+=(windows)
      ;;
    install)
      "$root/scripts/wine-prefix.sh" "$root/build/wineprefix" || { failed+=(install); continue; }
      rm -rf "$root/build/install-prefix" && cp -a "$root/build/wineprefix" "$root/build/install-prefix"
      timeout --kill-after=30 600 "$root/scripts/sandbox.sh" --name insttest --display --prefix "$root/build/install-prefix" -- \
        "$root/tests/install/install-test.sh" "$root/build/windows" || failed+=(install)
      ;;
    lan)
      if [ -x "$root/tests/lan/run.sh" ]; then
        "$root/tests/lan/run.sh" || failed+=(lan)
      else
        echo "no LAN tests yet"
      fi
      ;;
    *) echo "unknown test level $level"; failed+=("$level") ;;
  esac
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED levels: ${failed[*]}"
  exit 1
fi
echo "all test levels passed"
