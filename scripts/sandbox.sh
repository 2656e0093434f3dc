#!/usr/bin/env bash
# Runs a command inside a sandbox of its own: new network, UTS and mount namespaces with only
# `lo` up, its own host name, /etc/hosts and /etc/resolv.conf bind-mounted (so Wine's look-up of
# the computer name stays inside), optionally a private Xvfb display, and a wineserver started
# inside (Wine's sockets belong to the wineserver's namespace). Everything ends with the command:
# the namespaces vanish with their last process.
#
#   scripts/sandbox.sh [--name HOST] [--display] [--prefix DIR] -- command [args...]
#
# Nothing in here can reach the machine's network: broadcasts stay on the sandbox's `lo`.
set -euo pipefail

name=pelkotest
want_display=0
prefix=${WINEPREFIX:-}
while [ $# -gt 0 ]; do
  case "$1" in
    --name) name=$2; shift 2 ;;
    --display) want_display=1; shift ;;
    --prefix) prefix=$(realpath -m "$2"); shift 2 ;;   # the sandbox starts in another folder
    --) shift; break ;;
    *) echo "sandbox.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: sandbox.sh [--name HOST] [--display] [--prefix DIR] -- command..." >&2; exit 2; }

if [ "${PELKO_SANDBOX_INSIDE:-}" != 1 ]; then
  export PELKO_SANDBOX_INSIDE=1 PELKO_SANDBOX_NAME=$name PELKO_SANDBOX_DISPLAY=$want_display PELKO_SANDBOX_PREFIX=$prefix
  exec unshare --net --uts --mount --propagation private -- "$0" -- "$@"
fi

# --- inside the namespaces ---
name=$PELKO_SANDBOX_NAME
ip link set lo up
# Limited broadcasts (255.255.255.255, what discovery sends) go out on `lo` from 127.0.0.1, so they
# reach the sandbox's own listeners; every other address outside 127/8 stays unreachable.
ip route add 255.255.255.255/32 dev lo src 127.0.0.1
hostname "$name"
etc=$(mktemp -d /tmp/pelko-sandbox.XXXXXX)
printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n::1\tlocalhost\n' "$name" > "$etc/hosts"
echo 'nameserver 127.0.0.1' > "$etc/resolv.conf"
mount --bind "$etc/hosts" /etc/hosts
mount --bind "$etc/resolv.conf" /etc/resolv.conf

xvfb_pid=
cleanup() {
  # -k ends the prefix's processes; the server writes its registry files as it goes.
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$etc"
}
trap cleanup EXIT

if [ "$PELKO_SANDBOX_DISPLAY" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  # Display numbers are machine-wide (the X socket lives in the shared /tmp): take a free one.
  source "$(dirname "$0")/xvfb.sh"
  start_xvfb
fi

export WINEDEBUG=${WINEDEBUG:--all}
export PATH=$PATH:/usr/lib/wine   # wineserver lives there on Debian
if [ -n "$PELKO_SANDBOX_PREFIX" ]; then
  export WINEPREFIX=$PELKO_SANDBOX_PREFIX
  mkdir -p "$WINEPREFIX"
  # Start the server here, in this namespace, before any other Wine process of the prefix.
  wineserver -p >/dev/null 2>&1
  # Wine's helper processes (services, winedevice) start with the first program and inherit its
  # output: start them now with theirs sent away, or a pipe from a later program never closes.
  wineboot >/dev/null 2>&1 </dev/null || true
fi
unset PELKO_SANDBOX_INSIDE PELKO_SANDBOX_NAME PELKO_SANDBOX_DISPLAY PELKO_SANDBOX_PREFIX
export PELKO_SANDBOX=1
"$@"
