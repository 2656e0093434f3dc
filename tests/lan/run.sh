#!/usr/bin/env bash
# Runs the LAN tests: several sandboxed hosts (own network, host name, display, Wine prefix and
# wineserver each) on a private network that exists only inside namespaces.
#   tests/lan/run.sh [test names, e.g. test_pages.PagesTest]
# Needs root and a Windows build (scripts/build.sh --windows). Bounded in time; a failed test
# leaves screenshots, traces and program output in build/lan-results/.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
for f in pelko.exe tests/tools/driver/pelkodrv.exe; do
  [ -f "$root/build/windows/$f" ] || { echo "missing build/windows/$f: run scripts/build.sh --windows"; exit 1; }
done
cd "$here"
if [ $# -gt 0 ]; then set -- -v "$@"; else set -- discover -v -p 'test_*.py'; fi
# SIGTERM first (the harness tears its hosts down), SIGKILL 60 s later if it still has not ended.
exec timeout --kill-after=60 1200 "$(command -v python3 || echo /usr/bin/python3)" -m unittest "$@"
