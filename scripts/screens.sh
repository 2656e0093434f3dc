#!/usr/bin/env bash
# Screenshots of the main window under Xvfb, in the sandbox: scripts/screens.sh [out-dir]
# One shot per base colour (the registry value BaseColor, read at start-up).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/lan-results/screens}
mkdir -p "$out"
"$root/scripts/wine-prefix.sh" "$root/build/wineprefix" >/dev/null
for colour in 0x00344220 0x00903020; do
  rm -rf "$root/build/screens-prefix" && cp -a "$root/build/wineprefix" "$root/build/screens-prefix"
  "$root/scripts/sandbox.sh" --name screens --display --prefix "$root/build/screens-prefix" -- bash -c "
    wine reg add 'HKLM\\Software\\Pelko' /v BaseColor /t REG_DWORD /d $colour /f >/dev/null 2>&1
    wine '$root/build/windows/pelko.exe' >/dev/null 2>&1 &
    sleep 3
    wine '$root/build/windows/pelko.exe' >/dev/null 2>&1   # a second start opens the main window
    sleep 2
    xwd -display \$DISPLAY -root -silent | /usr/bin/convert xwd:- -crop 520x320+252+224 '$out/main-$colour.png'
    wineserver -k" || true
done
ls -l "$out"
