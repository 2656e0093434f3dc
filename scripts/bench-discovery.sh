#!/usr/bin/env bash
# Benchmark (not a test) of discovery at scale: as many sandboxed hosts as the machine holds
# (each about 175 MB with its Wine processes and Xvfb; budgeted at 300 MB) start pelko.exe one
# right after the other on one private network; prints how long until every host lists every
# other one, and how many discovery datagrams that took. Bounded in time (the wait for full
# discovery, and the whole run); every namespace, display and folder is removed afterwards.
#
#   scripts/bench-discovery.sh [--no-build] [HOSTS]     (as root; default: what memory allows, 10 to 24)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" = 0 ] || { echo "bench-discovery.sh: needs root (network namespaces)" >&2; exit 2; }
build=1
if [ "${1:-}" = --no-build ]; then build=0; shift; fi
[ $build = 0 ] || "$root/scripts/build.sh" --windows >/dev/null

hosts=${1:-}
if [ -z "$hosts" ]; then
  # What memory allows with 2 GB kept free for everything else, at most 24 hosts (setting each
  # one up takes seconds of the machine's two cores).
  available_mb=$(awk '/^MemAvailable:/ { print int($2 / 1024) }' /proc/meminfo)
  hosts=$(( (available_mb - 2048) / 300 ))
  [ "$hosts" -gt 24 ] && hosts=24
  if [ "$hosts" -lt 10 ]; then
    echo "bench-discovery.sh: only ${available_mb} MB available: running $hosts hosts (aim: 10)" >&2
  fi
  [ "$hosts" -lt 2 ] && { echo "bench-discovery.sh: not enough memory for two hosts" >&2; exit 1; }
fi
python=$(command -v python3 || echo /usr/bin/python3)
# SIGTERM first (the harness tears its hosts down), SIGKILL a minute later if it still runs.
exec timeout --kill-after=60 900 "$python" "$root/scripts/bench/bench_discovery.py" "$hosts"
