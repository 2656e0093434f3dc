#!/usr/bin/env bash
# A network attack on a running host (not a test; run on demand, as root): two sandboxed hosts of
# the LAN harness, HOSTA running pelko.exe with a text and a 1 MiB format on its clipboard, HOSTB
# attacking it (scripts/lanplay/netattack.py): malformed TCP requests, hostile datagrams, idle
# connections. Prints HOSTA's resident memory, handles and threads before and after, the counts
# and the time, and fails unless HOSTA still serves a right answer with a right checksum and is
# back near its level before. Bounded in count and time; the same seed sends the same traffic.
#   scripts/fuzz-net.sh [--seed N] [--tcp N] [--udp N] [--idle N] [--limit SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ -f "$root/build/windows/pelko.exe" ] || { echo "missing build/windows/pelko.exe: run scripts/build.sh --windows"; exit 1; }
exec timeout --kill-after=60 1800 python3 - "$root" "$@" <<'PY'
import argparse, json, sys
root = sys.argv.pop(1)
sys.path[:0] = [root + "/scripts/lanplay"]
import lanhosts, netattack

parser = argparse.ArgumentParser(prog="fuzz-net.sh")
parser.add_argument("--seed", type=int, default=17)
parser.add_argument("--tcp", type=int, default=100000)
parser.add_argument("--udp", type=int, default=100000)
parser.add_argument("--idle", type=int, default=300)
parser.add_argument("--limit", type=int, default=1200, help="seconds the attack may take")
args = parser.parse_args()
TEXT = "fuzz-net check %d" % args.seed

with lanhosts.Lan(2) as lan:
    a, b = lan.hosts
    a.start_program()
    a.driver_ok("wait", "--class", "Pelko Hidden Window Class", "--timeout", 60000)
    a.driver_ok("wait-idle", "pelko.exe", "--timeout", 60000)
    a.driver_ok("fillclip", "--text", TEXT, "--format", netattack.BLOCK_FORMAT, netattack.BLOCK_SIZE)
    before = netattack.objects(a)
    counts = netattack.attack(b, a, args.seed, args.tcp, args.udp, args.idle, args.limit, TEXT)
    after = netattack.settled(a, before)
    running = any(p.running() for p in a.programs if p.name == "pelko.exe")
    print(json.dumps({"seed": args.seed, "before": before, "after": after, "counts": counts}, indent=1, sort_keys=True))
    print("resident %.1f -> %.1f MiB, handles %d -> %d (%d -> %d registry keys), threads %d -> %d; %d TCP requests, "
          "%d datagrams, %d idle "
          "connections (%d closed at once by the host) in %.0f s; served right afterwards: %s"
          % (before["rss_kib"] / 1024, after["rss_kib"] / 1024, before["handles"], after["handles"], before["keys"], after["keys"], before["threads"],
             after["threads"], counts["tcp-requests"], counts.get("udp-sent", 0), counts.get("idle-opened", 0),
             counts.get("idle-closed-by-host", 0), counts["seconds"], counts["served-right"]))
    ok = running and not netattack.problems(counts, before, after)
    if not ok:
        lan.save_results(root + "/build/lan-results/fuzz-net")
        print("FAILED (traces in build/lan-results/fuzz-net)")
    sys.exit(0 if ok else 1)
PY
