#!/usr/bin/env bash
# Runs the LAN tests: several sandboxed hosts (own network, host name, display, Wine prefix and
# wineserver each) on a private network that exists only inside namespaces.
#   tests/lan/run.sh [test names, e.g. test_foundation.FoundationTest]
# Needs root and a Windows build (scripts/build.sh --windows). Bounded in time; the last line
# reads "N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
for f in pelko.exe tests/tools/driver/pelkodrv.exe; do
  [ -f "$root/build/windows/$f" ] || { echo "missing build/windows/$f: run scripts/build.sh --windows"; echo "0 passed, 1 failed"; exit 1; }
done
# SIGTERM first (the harness tears its hosts down), SIGKILL 60 s later if it still has not ended.
exec timeout --kill-after=60 1200 "$(command -v python3 || echo /usr/bin/python3)" "$here/run_tests.py" "$@"
