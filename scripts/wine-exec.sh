#!/usr/bin/env bash
# CTest's emulator for Windows executables: runs one under Wine. Refuses to run outside a
# sandbox (scripts/sandbox.sh), so no Wine process ever touches the machine's own network.
if [ "${PELKO_SANDBOX:-}" != 1 ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "wine-exec.sh: run Windows tests through scripts/sandbox.sh with a Wine prefix" >&2
  exit 2
fi
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
