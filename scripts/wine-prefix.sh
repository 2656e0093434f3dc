#!/usr/bin/env bash
# Prepares a Wine prefix for Pelko's tests and runs, once: the first start of a prefix costs
# seconds, so tests copy a prepared one (cp -a, never hard links) instead of making their own.
#
#   scripts/wine-prefix.sh DIR     make DIR a prepared prefix unless it already is one
#
# The prefix: no crash dialog (a crash ends the process with a backtrace instead of hanging),
# no audio driver (no device here; PlaySound still answers), Wine's virtual desktop (hiding a
# window takes milliseconds there instead of two seconds on a bare X server).
set -euo pipefail
dir=$(realpath -m "$1")
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$dir/.pelko-prepared" ] && exit 0
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
"$here/sandbox.sh" --name pelkoprep --prefix "$dir" -- bash -c '
  set -e
  wineboot -i >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\Drivers" /v Audio /t REG_SZ /d "" /f >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
'
touch "$dir/.pelko-prepared"
