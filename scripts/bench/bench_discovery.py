"""Discovery at scale (a benchmark, not a test): N hosts of the LAN harness (scripts/lanplay/lanhosts.py),
each with its own namespace, display, Wine prefix and wineserver, start pelko.exe one right after
the other; measured is the time from the first start until every host lists every other one
(each host's trace has an "Hosts: AddHost [NAME]" line for each of the others), and the datagrams
the discovery took (the "Ear: ReceiveFrom" lines of all hosts). Every wait is bounded; the LAN is
torn down on the way out, also on failure or interrupt.

    bench_discovery.py N [--limit SECONDS]
"""

import argparse
import os
import re
import signal
import sys
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts", "lanplay"))

import lanhosts  # noqa: E402

RECEIVE_RE = re.compile(r"  Ear: ReceiveFrom IP: ")


def _used_mb():
    """Memory in use on the machine (total less available), in MB; the hosts are most of it."""
    values = {}
    with open("/proc/meminfo") as f:
        for line in f:
            key, _, rest = line.partition(":")
            values[key] = int(rest.split()[0])
    return (values["MemTotal"] - values["MemAvailable"]) // 1024


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("hosts", type=int)
    parser.add_argument("--limit", type=float, default=300.0, help="seconds to wait for full discovery")
    args = parser.parse_args(argv)
    n = args.hosts
    # A signal ends the run through the LAN's clean-up (SystemExit unwinds the `with` below).
    for signum in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(signum, lambda number, frame: sys.exit(128 + number))

    lanhosts.remove_stale_runs()
    lanhosts.prepare_template()
    baseline = _used_mb()
    setup_started = time.monotonic()
    with lanhosts.Lan(n) as lan:
        print("%d hosts up in %.1f s (namespaces, Xvfb, prefixes, wineservers)" % (n, time.monotonic() - setup_started),
              flush=True)
        names = {h.computer_name for h in lan.hosts}
        started = time.monotonic()
        for host in lan.hosts:
            host.start_program()
        all_started = time.monotonic() - started
        done_at = {}
        deadline = started + args.limit
        while len(done_at) < n and time.monotonic() < deadline:
            for host in lan.hosts:
                if host.name in done_at:
                    continue
                listed = set(host.listed())
                if listed == names - {host.computer_name}:
                    done_at[host.name] = time.monotonic() - started
            time.sleep(0.05)
        if len(done_at) < n:
            missing = sorted(h.name for h in lan.hosts if h.name not in done_at)
            print("not every host listed every other within %.0f s; incomplete: %s" % (args.limit, " ".join(missing)))
            return 1
        received = sum(sum(1 for line in h.trace.lines() if RECEIVE_RE.search(line)) for h in lan.hosts)
        added = sum(len(h.listed()) for h in lan.hosts)
        crashed = [h.name for h in lan.hosts if any(not p.running() for p in h.programs)]
        times = sorted(done_at.values())
        print("starting %d programs one after the other took %.1f s" % (n, all_started))
        print("every host listed every other %.1f s after the first start (first host complete at %.1f s, "
              "median %.1f s)" % (times[-1], times[0], times[len(times) // 2]))
        print("datagrams received by all listeners: %d (N*(N+1) = %d when the starts follow one another, up to "
              "2*N*N = %d when every listener is open before the first query); host records added: %d (N*(N-1) = %d)"
              % (received, n * (n + 1), 2 * n * n, added, n * (n - 1)))
        used = _used_mb() - baseline
        print("memory taken by the %d running hosts: %d MB (about %d MB a host)" % (n, used, used // n))
        if crashed:
            print("programs that ended on their own: %s" % " ".join(crashed))
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
