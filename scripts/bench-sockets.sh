#!/usr/bin/env bash
# Benchmark (not a test) of the socket layer's sending throughput: one 64 MiB stream sent in
# 2920-byte pieces between two sandboxed hosts, A -> B, through EventSocket (non-blocking, the
# sends resuming on FD_WRITE), next to the same stream over the same path sent
#   (i)  natively on Linux (scripts/bench/native-tcp.c, no Wine), and
#   (ii) by a minimal Win32 sender under Wine with plain blocking send() and none of our layers.
# Prints each figure (median of RUNS rounds in which the cases take turns, so that a change of
# load on the machine falls on all of them; timed by the receiver from accept to the last byte)
# and the two ratios. The target is layer >= 90% of (ii).
#
#   scripts/bench-sockets.sh [--no-build]      (as root; RUNS=5 SIZE=67108864 PIECE=2920)
#
# The two hosts are network namespaces joined by a veth pair, with addresses in a private /24
# that exists only there and TCP timestamps off (1460-byte segments, as on Ethernet). Each host
# has its own host name, hosts file, copy of the prepared Wine prefix, and a wineserver started
# inside its namespace. Everything is removed on exit, also on failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-5}
size=${SIZE:-67108864}
piece=${PIECE:-2920}
[ "$(id -u)" = 0 ] || { echo "bench-sockets.sh: needs root (network namespaces)" >&2; exit 2; }
[ "${1:-}" = --no-build ] || "$root/scripts/build.sh" --windows >/dev/null
bench_bin=$root/build/windows/bench
for exe in bench_layer_send bench_layer_recv bench_plain_send bench_plain_recv; do
  [ -f "$bench_bin/$exe.exe" ] || { echo "missing $bench_bin/$exe.exe" >&2; exit 1; }
done
"$root/scripts/wine-prefix.sh" "$root/build/wineprefix"

work=$(mktemp -d /tmp/pelko-bench.XXXXXX)
tag=$$
ns_a=pelkobench-a-$tag ns_b=pelkobench-b-$tag
veth_a=pkb${tag}a veth_b=pkb${tag}b
net=10.231.77
addr_a=$net.1 addr_b=$net.2

host_run() {  # host_run a|b command... : runs a command on that host
  local host=$1; shift
  local ns=$ns_a name=benchhosta
  [ "$host" = b ] && ns=$ns_b name=benchhostb
  ip netns exec "$ns" unshare --uts --mount --propagation private -- \
    env BENCH_NAME=$name BENCH_ETC="$work/etc-$host" WINEPREFIX="$work/prefix-$host" WINEDEBUG=-all \
        PATH="$PATH:/usr/lib/wine" \
    bash -c 'hostname "$BENCH_NAME"
             mount --bind "$BENCH_ETC/hosts" /etc/hosts
             mount --bind "$BENCH_ETC/resolv.conf" /etc/resolv.conf
             exec "$@"' host_run "$@"
}

cleanup() {
  set +e
  for host in a b; do
    [ -d "$work/prefix-$host" ] && host_run "$host" wineserver -k >/dev/null 2>&1
  done
  for ns in "$ns_a" "$ns_b"; do
    if ip netns list | grep -qw "$ns"; then
      # Only this script's processes live in its namespaces.
      for pid in $(ip netns pids "$ns"); do kill "$pid" 2>/dev/null; done
      ip netns del "$ns"
    fi
  done
  ip link del "$veth_a" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# --- the two hosts
cc -O2 -o "$work/native-tcp" "$root/scripts/bench/native-tcp.c"
for host in a b; do
  mkdir -p "$work/etc-$host"
  printf '127.0.0.1\tlocalhost\n%s\tbenchhosta\n%s\tbenchhostb\n' "$addr_a" "$addr_b" > "$work/etc-$host/hosts"
  echo 'nameserver 127.0.0.1' > "$work/etc-$host/resolv.conf"
  cp -a "$root/build/wineprefix" "$work/prefix-$host"
done
ip netns add "$ns_a"
ip netns add "$ns_b"
ip link add "$veth_a" type veth peer name "$veth_b"
ip link set "$veth_a" netns "$ns_a"
ip link set "$veth_b" netns "$ns_b"
for pair in "$ns_a $veth_a $addr_a" "$ns_b $veth_b $addr_b"; do
  set -- $pair
  ip -n "$1" link set lo up
  ip -n "$1" addr add "$3/24" dev "$2"
  ip -n "$1" link set "$2" up
  ip -n "$1" route add default dev "$2"
  ip netns exec "$1" sysctl -qw net.ipv4.tcp_timestamps=0
done
for host in a b; do
  host_run "$host" wineserver -p >/dev/null 2>&1
  host_run "$host" wineboot >/dev/null 2>&1 </dev/null || true
done

# --- one measured stream: receiver on B, sender on A; prints MiB/s
port=5100
measure() {  # measure "receiver command..." -- "sender command..."
  local receiver=() sender=()
  while [ "$1" != -- ]; do receiver+=("$1"); shift; done; shift
  sender=("$@")
  port=$((port + 1))
  local out="$work/recv-$port.txt"
  host_run b "${receiver[@]//@PORT@/$port}" >"$out" 2>&1 </dev/null &
  local receiver_pid=$!
  for _ in $(seq 600); do grep -q LISTENING "$out" 2>/dev/null && break; sleep 0.05; done
  grep -q LISTENING "$out" || { echo "receiver did not start: $(cat "$out")" >&2; return 1; }
  host_run a "${sender[@]//@PORT@/$port}" >"$work/send-$port.txt" 2>&1 </dev/null \
    || { echo "sender failed: $(cat "$work/send-$port.txt")" >&2; return 1; }
  wait "$receiver_pid" || { echo "receiver failed: $(cat "$out")" >&2; return 1; }
  awk -v want="$size" '/^RESULT/ { if ($2 != want) { print "short" > "/dev/stderr"; exit 1 }
                                   printf "%.1f\n", $2 / $3 / 1048576 }' "$out"
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

win() { echo "wine $bench_bin/$1.exe"; }
labels=("(i)   native Linux sender -> native Linux receiver"
        "(ii)  plain Win32 sender (Wine) -> plain Win32 receiver (Wine)"
        "layer EventSocket sender (Wine) -> plain Win32 receiver (Wine)"
        "      EventSocket sender -> EventSocket receiver (Wine)")
run_case() {  # run_case index: one measured stream of that case
  case $1 in
    0) measure "$work/native-tcp" recv @PORT@ "$size" -- "$work/native-tcp" send "$addr_b" @PORT@ "$size" "$piece" ;;
    1) measure $(win bench_plain_recv) @PORT@ "$size" -- $(win bench_plain_send) "$addr_b" @PORT@ "$size" "$piece" ;;
    2) measure $(win bench_plain_recv) @PORT@ "$size" -- $(win bench_layer_send) "$addr_b" @PORT@ "$size" "$piece" ;;
    3) measure $(win bench_layer_recv) @PORT@ "$size" -- $(win bench_layer_send) "$addr_b" @PORT@ "$size" "$piece" ;;
  esac
}

echo "Socket layer: one $((size / 1048576)) MiB stream in $piece-byte pieces, host A -> host B over veth" \
     "(TCP timestamps off); median of $runs rounds, the cases taking turns within each round" >&2
declare -a figures=("" "" "" "")
for round in $(seq "$runs"); do
  for index in 0 1 2 3; do figures[$index]+="$(run_case $index) "; done
done
declare -a medians
for index in 0 1 2 3; do
  medians[$index]=$(median ${figures[$index]})
  printf '  %-62s %8s MiB/s   (runs: %s)\n' "${labels[$index]}" "${medians[$index]}" "${figures[$index]% }" >&2
done
sender_stats=$(cat "$work"/send-*.txt | awk '/^SENT wouldblock/ { split($2, w, "="); split($3, f, "="); wb += w[2]; fd += f[2]; n++ }
  END { if (n) printf "%.1f WSAEWOULDBLOCK and %.1f FD_WRITE per stream", wb / n, fd / n }')
echo "  layer sender, on average: $sender_stats" >&2
awk -v n="${medians[0]}" -v p="${medians[1]}" -v l="${medians[2]}" -v b="${medians[3]}" 'BEGIN {
  printf "  ratio layer / (ii) plain Win32: %.3f   (target >= 0.90: %s)\n", l / p, (l / p >= 0.9 ? "met" : "NOT met")
  printf "  ratio layer / (i)  native:      %.3f\n", l / n
  printf "  ratio layer at both ends / (ii): %.3f\n", b / p
}' >&2
