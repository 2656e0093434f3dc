#!/usr/bin/env bash
# Builds Pelko and shows its main job (Debian 12, as root; installs what is missing): two sandboxed
# hosts on a private network, one copies, the other takes its clipboard and pastes
# (scripts/demo.py: prints what crossed and how fast, saves screenshots of both desktops).
#   scripts/run.sh               the demonstration
#   scripts/run.sh --interactive one Pelko to use by hand, as below
#
# Interactive: prepares a Wine prefix under build/ once, and runs the program inside a sandbox of
# its own (scripts/sandbox.sh: own network, host name and mount namespaces, so nothing it
# broadcasts leaves). With DISPLAY unset it gets a private virtual display; the command to look
# at it is printed. Pelko runs until "Exit" is chosen from its tray menu, or Ctrl+C.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
run_dir=$root/build/run
prefix=$root/build/runprefix

"$root/scripts/setup-debian.sh"
"$root/scripts/build.sh" --windows
if [ "${1:-}" != --interactive ]; then
  "$root/scripts/wine-prefix.sh" "$root/build/wineprefix"
  exec python3 "$root/scripts/demo.py" "$@"
fi
"$root/scripts/wine-prefix.sh" "$prefix"
mkdir -p "$run_dir"

xvfb_pid=
cleanup() { if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi; true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  # A private display, started here so that its number can be told (the sandbox reaches it
  # through the shared /tmp/.X11-unix).
  source "$root/scripts/xvfb.sh"
  start_xvfb
  echo "Pelko runs on the private display $DISPLAY. To look at it:"
  echo "  xwd -display $DISPLAY -root -silent | /usr/bin/convert xwd:- pelko.png"
else
  echo "Pelko runs on your display $DISPLAY (its desktop opens as a 1024x768 window)."
fi
echo "Trace lines (the program's debug output) go to $run_dir/pelko.err (grep dispatch_exception)."
echo "Stop: choose Exit from the tray menu (right click on the icon at the right of the task bar) or press Ctrl+C."

# The program's own folder: pelko.exe with the files that travel beside it.
cp "$root/build/windows/pelko.exe" "$root/build/windows/ReadyToTransfer.wav" "$run_dir/"
WINEDEBUG=-all,warn+seh "$root/scripts/sandbox.sh" --name pelko --prefix "$prefix" -- \
  bash -c 'cd "$1" && wine pelko.exe 2>pelko.err' _ "$run_dir"
