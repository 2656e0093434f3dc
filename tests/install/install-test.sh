#!/usr/bin/env bash
# pelko.msi as an administrator and a user meet it, under Wine at 144 DPI, in the one sandbox that
# scripts/test.sh install makes (a copy of the template prefix, a display):
#   the previous version installed silently, the program started from Program Files, a friend
#   marked on its Remote Hosts page; this version installed over it (one product left); the table
#   of what the install leaves, the friend still there after a restart; a silent uninstall that
#   removes what the table says it removes and keeps the settings and friends. Firewall rules cannot act under Wine: what the package asks of
#   netsh is read from Wine's netsh stand-in, which prints its arguments.
#   tests/install/install-test.sh BUILD_DIR    (inside scripts/sandbox.sh --display --prefix ...)
set -uo pipefail
build=$1 src=$(cd "$(dirname "$0")/../.." && pwd)
out=$src/build/install-results && rm -rf "$out" && mkdir -p "$out/screens" && cd "$out"
files="$WINEPREFIX/drive_c/Program Files/Pelko" exe='C:\Program Files\Pelko\pelko.exe'
main="Pelko Main Window Class" hidden="Pelko Hidden Window Class"
export WINEDLLOVERRIDES=winemenubuilder.exe=d   # no copies of the shortcut in this machine's own menus
version=$(msiinfo export "$build/pelko.msi" Property | tr -d '\r' | awk '$1 == "ProductVersion" { print $2 }')
drv() { wine "$build/tests/tools/driver/pelkodrv.exe" "$@"; }
passed=0 failed=0
result() { if "${@:2}" >/dev/null 2>&1; then passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi; }

# 144 DPI for every program from here on (read when the session starts).
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wineserver -k; wineserver -w; wineserver -p && wineboot >/dev/null 2>&1
(cd "$build" && wixl -a x64 -D Version=0.9.0 -D ExeDir=. -D CaDll=installer/pelkoca.dll -o "$out/previous.msi" "$src/installer/pelko.wxs")

# msiexec ARGS...: runs it and prints, sorted, the netsh commands the package ran.
msi() {
    WINEDEBUG=-all,fixme+netsh wine msiexec "$@" /qn /l*v msi.log >msi.out 2>msi.err || echo "msiexec $* failed: $?"
    sed -n 's/.*fixme:netsh:wmain stub: L"[^"]*" //p' msi.err | sed 's/L"\([^"]*\)"/\1/g; s/\\\\/\\/g' | sort
}
drop() { echo "advfirewall firewall delete rule name=Pelko Network Clipboard $1"; }
add() { echo "advfirewall firewall add rule name=Pelko Network Clipboard $1 dir=in action=allow program=$exe protocol=$2 profile=private,domain"; }
products() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
        awk '/^HKEY/ { key = $0 } /DisplayName .*Pelko/ { name[key] = 1 } /DisplayVersion/ { version[key] = $3 }
             END { for (k in name) print "Pelko", version[k] }'
}
exe_version() {
    python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(); i = d.index(struct.pack("<I", 0xFEEF04BD))
ms, ls = struct.unpack("<II", d[i + 8:i + 16]); print("Pelko %d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16))' "$files/pelko.exe"
}
# The program from Program Files, with a host FRIEND on the network; its main window open.
start_and_open() {
    wine "$exe" >/dev/null 2>&1 &
    drv wait --class "$hidden" --timeout 30000 >/dev/null && drv wait-idle pelko.exe >/dev/null
    python3 -c 'import socket, struct; n = "FRIEND".encode("utf-16-le")
socket.socket(2, 2).sendto(struct.pack("<6I", 0x12345678, 1, 0, 16, 0, 1) + n + bytes(32 - len(n)), ("127.0.0.1", 4000))'
    wine "$exe" && drv wait --class "$main" --visible >/dev/null   # a second start opens the main window
}
# page N's list (1 Friends, 2 Remote Hosts) once it shows FRIEND
page_with_friend() {
    drv send --class "$main" 0x111 "$1" >/dev/null
    list=$(drv tree --class "$main" | awk -F'\t' '$4 == "ListBox" && $5 == "1" { print $1 }')
    for _ in $(seq 150); do drv items --hwnd "$list" | grep -qx FRIEND && return 0; sleep 0.2; done
    return 1
}
quit() { drv post --class "$main" 0x10 && drv tray up return && drv wait --class "$hidden" --gone --timeout 30000; }

# What the install must leave, and whether the uninstall removes it or keeps it: a check that holds while it is there.
rows=(
    'removes|pelko.exe in Program Files|test -f "$files/pelko.exe"'
    'removes|ReadyToTransfer.wav beside it|test -f "$files/ReadyToTransfer.wav"'
    'removes|the Start-menu shortcut|test -f "$(winepath -u "$menu")Pelko.lnk"'
    'removes|the Run entry the program wrote|wine reg query "HKCU\Software\Microsoft\Windows\CurrentVersion\Run" /v Pelko'
    'removes|one product, this version|[ "$(products)" = "Pelko $version" ]'
    'keeps|the settings key with one rule for Users|[ "$(drv keyrules "HKLM\Software\Pelko" | grep -o "(A;CI;KA;;;BU)")" = "(A;CI;KA;;;BU)" ]'
    'keeps|the friend|wine reg query "HKLM\Software\Pelko\Hosts" /v FRIEND'
)
table() {   # after "install" every row holds; after "uninstall" the kept ones
    for row in "${rows[@]}"; do
        IFS='|' read -r fate name check <<<"$row"
        eval "$check" >/dev/null 2>&1 && got=present || got=absent
        [ "$1" = install ] || [ "$fate" = keeps ] && want=present || want=absent
        result "after the $1: $name is $got" [ "$got" = "$want" ]
    done
}

result "previous version: netsh clears its rules, adds UDP and TCP" [ "$(msi /i previous.msi)" = "$({ drop 0.9.0; add 0.9.0 UDP; add 0.9.0 TCP; } | sort)" ]
menu=$(sed -n 's/^Property(S): ProgramMenuFolder = //p' msi.log | tr -d '\r')   # Wine: per user even for ALLUSERS=1
result "previous version installed" [ "$(products)" = "Pelko 0.9.0" ]
result "the program starts from Program Files, FRIEND listed" start_and_open
result "Remote Hosts page lists FRIEND" page_with_friend 2
drv send --hwnd "$list" 0x201 1 $(((9 << 16) | 30)) >/dev/null && drv send --hwnd "$list" 0x202 0 $(((9 << 16) | 30)) >/dev/null
sleep 0.5 && xwd -display "$DISPLAY" -root -silent | /usr/bin/convert xwd:- -crop 1024x568+0+200 +repage screens/installed-144dpi.png
result "the friend is on the Friends page" page_with_friend 1   # leaving Remote Hosts saves the marks
result "the program ends from its tray menu" quit

result "upgrade: the old rules go, the new ones come" [ "$(msi /i "$build/pelko.msi")" = "$({ drop 0.9.0; drop $version; add $version UDP; add $version TCP; } | sort)" ]
result "pelko.exe's version is the package's" [ "$(exe_version)" = "$(products)" ]
result "after the upgrade and a restart the friend is on the Friends page" eval 'start_and_open && page_with_friend 1 && quit'
# The start-up entry as Autorun writes it. Wine's RemoveExistingProducts does not set UPGRADINGPRODUCTCODE
# for the old version's removal, which then removes it: so it is made only after the upgrade.
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Pelko /d "$exe" /f >/dev/null 2>&1
table install

result "uninstall: netsh deletes the rules" [ "$(msi /x "$build/pelko.msi")" = "$(drop $version)" ]
table uninstall
result "nothing left in Program Files\\Pelko" [ ! -e "$files" ]
echo "install: $passed passed, $failed failed"
[ "$failed" = 0 ]
