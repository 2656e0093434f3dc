#!/usr/bin/env python3
"""Benchmark (not a test) of the clipboard transfer between two sandboxed hosts (real pelko.exe
under Wine, tests/lan/lanhosts.py). Prints:

  1. one SIZE-byte format HOSTA -> HOSTB through the real programs (HOSTB's paste blocks until the
     data is on its clipboard), next to a minimal Win32 server (bench/bench_min_server.cpp,
     plain blocking send() of 2920-byte pieces) answering the same paste over the same path, and
     next to native Linux TCP (scripts/bench/native-tcp.c); ROUNDS rounds taking turns, medians;
  2. the client's peak memory (VmHWM of HOSTB's pelko.exe) over its level before the first paste;
  3. paste latency of a 1 KB format already placed: 200 formats placed, each pasted once;
  4. PEERS peers fetching the same 10 MiB format from HOSTA at once (a plain socket client per
     peer in HOSTB's namespace): checksums, and HOSTA's resident memory before and after.

    scripts/bench-transfer.py [--size BYTES] [--rounds N] [--peers N]      (as root)
"""

import argparse
import os
import socket
import struct
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lanplay"))
import play  # noqa: E402

FORMAT = "Pelko Bench Data"
MIN_SERVER = os.path.join(play.lanhosts.BUILD, "bench", "bench_min_server.exe")
PORT = 4001


def real_round(a, b, size):
    play.take(b, a)
    (_, got, ms, ok), = play.paste_check(b, FORMAT)
    assert ok and got == size, "real transfer arrived wrong"
    return ms


def minimal_round(a, b, size):
    play.take(b, a)   # placed from the real program, then fetched from the minimal server
    program = next(p for p in a.programs if p.name == "pelko.exe" and p.running())
    program.kill()
    server = a.popen(["wine", MIN_SERVER, str(PORT), str(size)], subprocess.PIPE, subprocess.DEVNULL)
    try:
        assert server.stdout.readline().strip() == b"LISTENING", "minimal server did not start"
        (_, got, ms, ok), = play.paste_check(b, FORMAT)
        assert ok and got == size, "minimal transfer arrived wrong"
    finally:
        server.kill()
        server.wait()
    a.start_program()
    a.driver_ok("wait", "--class", play.HIDDEN_CLASS, "--timeout", 60000)
    return ms


def native_round(a, b, size, tool):
    receiver = b.popen([tool, "recv", str(PORT + 1), str(size)], subprocess.PIPE, subprocess.DEVNULL)
    try:
        assert receiver.stdout.readline().strip() == b"LISTENING"
        a.run([tool, "send", b.address, str(PORT + 1), str(size), "2920"], check=True, timeout=300)
        _, count, seconds = receiver.stdout.readline().split()
        return float(seconds) * 1000.0
    finally:
        receiver.kill()
        receiver.wait()


def fetch(address, name, results):
    """One peer's cmd_GetData, as the program's client sends it; appends (size, crc ok)."""
    payload = (name + "\0").encode("utf-16-le")
    header = struct.pack("<6I", 0x12345678, 6, 0, len(payload), 0, 1000 + len(results))
    with socket.create_connection((address, PORT), timeout=60) as s:
        s.sendall(header + payload)
        reply = b""
        while len(reply) < 24:
            chunk = s.recv(24 - len(reply))
            if not chunk:
                break
            reply += chunk
        _, command, error, length, checksum, _ = struct.unpack("<6I", reply)
        data = bytearray()
        while len(data) < length:
            chunk = s.recv(min(1 << 20, length - len(data)))
            if not chunk:
                break
            data += chunk
        results.append((command, error, len(data), zlib.crc32(bytes(data), 0xFFFFFFFF) == checksum))


def resident_kib(host):
    pids = [p for prog in host.programs if prog.name == "pelko.exe" and prog.running() for p in play._descendants(prog.pid)]
    for pid in pids:
        if "pelko.exe" in play._cmdline(pid):
            with open("/proc/%d/status" % pid) as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1])
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=256 << 20)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--peers", type=int, default=20)
    args = parser.parse_args()
    tool = os.path.join("/tmp", "pelko-native-tcp-%d" % os.getpid())
    subprocess.run(["cc", "-O2", "-o", tool, os.path.join(play.ROOT, "scripts", "bench", "native-tcp.c")], check=True)
    try:
        with play.Lan(2) as lan:
            a, b = lan.hosts
            play.start_programs(lan)
            print("machine: %d cores, %s" % (os.cpu_count(), os.uname().release))

            # 1 and 2: the large format.
            a.driver_ok("fillclip", "--format", FORMAT, args.size, timeout=300)
            before = play.peak_memory_kib(b)
            times = {"pelko": [], "minimal": [], "native": []}
            for _ in range(args.rounds):
                times["pelko"].append(real_round(a, b, args.size))
                times["minimal"].append(minimal_round(a, b, args.size))
                times["native"].append(native_round(a, b, args.size, tool))
            peak = play.peak_memory_kib(b)
            mb = args.size / 1e6
            print("\n%d MiB, HOSTA -> HOSTB, median of %d rounds (MB = 10^6 bytes):" % (args.size >> 20, args.rounds))
            for case, label in (("pelko", "pelko.exe to pelko.exe"), ("minimal", "minimal Win32 server"),
                                ("native", "native Linux TCP")):
                m = play.median(times[case])
                print("  %-24s %8.0f ms  %7.1f MB/s   (rounds: %s)" % (label, m, mb / m * 1000,
                      ", ".join("%.0f" % t for t in times[case])))
            ratio = play.median(times["minimal"]) / play.median(times["pelko"])
            print("  pelko / minimal server: %.0f %% of its throughput (goal: at least 90 %%)" % (ratio * 100))
            if before and peak:
                print("client peak memory: %.1f MiB before, %.1f MiB peak: %.1f MiB above (payload %.0f MiB; goal: payload + 16 MiB)"
                      % (before / 1024, peak / 1024, (peak - before) / 1024, args.size / 1048576))

            # 3: latency of 1 KB pastes, each a fresh fetch.
            names = ["Pelko Latency %03d" % i for i in range(200)]
            fill = ["fillclip"]
            for name in names:
                fill += ["--format", name, 1024]
            a.driver_ok(*fill)
            play.take(b, a)
            rows = play.paste_check(b, *names)
            ms = [r[2] for r in rows]
            assert all(r[3] for r in rows)
            print("\npaste latency, 1 KB already placed, %d pastes: median %.2f ms, 95th percentile %.2f ms (goal: median under 2 ms)"
                  % (len(ms), play.median(ms), play.percentile(ms, 95)))

            # 4: many peers at once.
            size = 10 << 20
            a.driver_ok("fillclip", "--format", FORMAT, size)
            time.sleep(1)
            rss_before = resident_kib(a)
            script = ("import sys; sys.path.insert(0, %r); import runpy; fetch = runpy.run_path(%r)['fetch']; "
                      "import threading; r = []; "
                      "ts = [threading.Thread(target=fetch, args=(%r, %r, r)) for _ in range(%d)]; "
                      "[t.start() for t in ts]; [t.join() for t in ts]; print(repr(r))"
                      % (os.path.dirname(os.path.abspath(__file__)), os.path.abspath(__file__), a.address, FORMAT, args.peers))
            start = time.monotonic()
            _, out, err = b.run([sys.executable, "-c", script], timeout=600, check=True)
            elapsed = time.monotonic() - start
            results = eval(out.strip().splitlines()[-1])
            good = sum(1 for c, e, n, ok in results if c == 7 and e == 0 and n == size and ok)
            a.trace.wait_for(r"DataSock: Finished to cmd_SendData", timeout=60)
            time.sleep(2)
            rss_after = resident_kib(a)
            print("\n%d peers fetching 10 MiB at once: %d of %d complete with the right checksum in %.1f s; "
                  "serving host resident memory %.1f MiB before, %.1f MiB after"
                  % (args.peers, good, len(results), elapsed, (rss_before or 0) / 1024, (rss_after or 0) / 1024))
    finally:
        if os.path.exists(tool):
            os.unlink(tool)
    return 0


if __name__ == "__main__":
    sys.exit(main())
