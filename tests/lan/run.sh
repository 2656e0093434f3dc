#!/usr/bin/env bash
# Runs every LAN test: several sandboxed hosts (own network, host name, display, Wine prefix and
# wineserver each) on a private network that exists only inside namespaces.
#   tests/lan/run.sh [test names, e.g. test_foundation.FoundationTest.test_exit_from_tray_menu]
# Needs root and a Windows build (scripts/build.sh --windows). Bounded in time; the last line
# reads "N passed, N failed". PELKO_LAN_PROGRAM=standin runs the program tests against the
# harness's stand-in instead of pelko.exe.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
python=$(command -v python3 || echo /usr/bin/python3)
for f in pelko.exe tests/tools/driver/pelkodrv.exe tests/lan/pelko_standin.exe; do
  [ -f "$root/build/windows/$f" ] || { echo "missing build/windows/$f: run scripts/build.sh --windows"; echo "0 passed, 1 failed"; exit 1; }
done
# SIGTERM first (the harness tears its hosts down), SIGKILL 60 s later if it still has not ended.
exec timeout --kill-after=60 900 "$python" "$here/run_tests.py" "$@"
