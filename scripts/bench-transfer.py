#!/usr/bin/env python3
"""Benchmark (not a test) of the clipboard transfer between two sandboxed hosts (real pelko.exe
under Wine, scripts/lanplay/lanhosts.py). Every figure is printed with the machine's load (1-minute
average) beside it. Prints:

  1. where a SIZE-byte transfer's time goes, HOSTA -> HOSTB, ROUNDS rounds in which the cases take
     turns, each case's median and spread (min-max):
       (a) native Linux TCP (scripts/bench/native-tcp.c, 2920-byte pieces);
       (b) a minimal Win32 sender (bench/bench_min_server.cpp: checksum, then plain blocking
           send() of 2920-byte pieces) to a minimal Win32 receiver (bench/bench_min_client.cpp:
           plain blocking recv() of the receive buffer's size into one block, then checksum);
       (c) the minimal sender writing the serving connection's trace line per piece, to (b)'s
           receiver;
       (d) pelko.exe serving (its clipboard read, checksum, pieces, trace) to (b)'s receiver;
       (e) the minimal sender to pelko.exe's client, pasted as an application pastes;
       (e') the minimal sender to the minimal receiver writing the client's trace line per receive;
       (f) pelko.exe to pelko.exe, pasted;
     the receivers' times run from the connect (the paste) to the checked last byte;
  2. the client's peak memory (VmHWM of HOSTB's pelko.exe) over its level before the first paste;
  3. paste latency of a 1 KB format, 200 pastes, median and 95th percentile: rendered on demand
     from memory by a local program (bench/bench_local_render.cpp: the same delayed rendering
     without the network), which is Wine's floor, against pelko.exe's remote paste with 20 formats
     on the serving clipboard (10 takes of the 20 formats, each pasted once);
  4. PEERS peers fetching the same 10 MiB format from HOSTA at once (a plain socket client per
     peer in HOSTB's namespace): checksums, and HOSTA's resident memory before and after.

    scripts/bench-transfer.py [--size BYTES] [--rounds N] [--peers N]      (as root)

--rounds 0 leaves out 1 and 2, --peers 0 leaves out 4.
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
BENCH = os.path.join(play.lanhosts.BUILD, "bench")
MIN_SERVER = os.path.join(BENCH, "bench_min_server.exe")
MIN_CLIENT = os.path.join(BENCH, "bench_min_client.exe")
LOCAL_RENDER = os.path.join(BENCH, "bench_local_render.exe")
PORT = 4001
TRACED = "-all,warn+seh"   # as the LAN harness runs pelko.exe: every trace line reaches a file
CASES = [("a", "native Linux TCP"), ("b", "minimal sender -> minimal receiver"),
         ("c", "minimal sender + trace per piece -> minimal receiver"), ("d", "pelko.exe serving -> minimal receiver"),
         ("e", "minimal sender -> pelko.exe client (paste)"), ("e'", "minimal sender -> minimal receiver + trace per receive"),
         ("f", "pelko.exe -> pelko.exe (paste)")]


def load():
    return os.getloadavg()[0]


def paste_round(b, size):
    (_, got, ms, ok), = play.paste_check(b, FORMAT)
    assert ok and got == size, "pasted data arrived wrong"
    return ms


def min_client_round(a, b, size, trace):
    """The minimal receiver on HOSTB asks HOSTA's port for the format; its own time in ms."""
    paths = b._files("minclient")
    with open(paths[0], "wb") as out, open(paths[1], "wb") as err:
        process = b.popen(["wine", MIN_CLIENT, a.address, str(PORT), FORMAT] + (["trace"] if trace else []), out, err,
                          winedebug=TRACED)
        process.wait(timeout=900)
    with open(paths[0]) as f:
        result = f.read().split()
    for path in paths:
        os.unlink(path)
    assert len(result) == 4 and result[3] == "ok" and int(result[1]) == size, "minimal receiver: %r" % result
    return float(result[2]) * 1000.0


def start_min_server(a, size, trace):
    server = a.popen(["wine", MIN_SERVER, str(PORT), str(size)] + (["trace"] if trace else []), subprocess.PIPE,
                     subprocess.DEVNULL, winedebug=TRACED)
    assert server.stdout.readline().strip() == b"LISTENING", "minimal server did not start"
    return server


def stop(process):
    process.kill()
    process.wait()


def one_round(a, b, size, tool, times):
    """Every case once, in a fixed order; HOSTA's pelko.exe is stopped while the minimal server
    has the port."""
    play.take(b)
    times["f"].append((paste_round(b, size), load()))
    times["d"].append((min_client_round(a, b, size, False), load()))
    play.take(b)   # placed from the real program, then fetched from the minimal server
    program = next(p for p in a.programs if p.name == "pelko.exe" and p.running())
    program.kill()
    server = start_min_server(a, size, False)
    try:
        times["e"].append((paste_round(b, size), load()))
        times["b"].append((min_client_round(a, b, size, False), load()))
        times["e'"].append((min_client_round(a, b, size, True), load()))
    finally:
        stop(server)
    server = start_min_server(a, size, True)
    try:
        times["c"].append((min_client_round(a, b, size, False), load()))
    finally:
        stop(server)
    a.start_program()
    a.driver_ok("wait", "--class", play.HIDDEN_CLASS, "--timeout", 60000)
    times["a"].append((native_round(a, b, size, tool), load()))


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


def latency(a, b, formats, takes):
    """(floor ms list, pelko ms list): 1 KB pastes, each format pasted once after each placing."""
    names = ["Pelko Latency %02d" % i for i in range(formats)]
    fill = ["fillclip"]
    for name in names:
        fill += ["--format", name, 1024]
    floor, pelko, loads = [], [], []
    for _ in range(takes):
        local = b.popen(["wine", LOCAL_RENDER, "1024"] + names, subprocess.PIPE, subprocess.DEVNULL)
        try:
            assert local.stdout.readline().strip() == b"PROMISED", "local renderer did not start"
            rows = play.paste_check(b, *names)
        finally:
            stop(local)
        assert all(r[3] for r in rows), "local render arrived wrong"
        floor += [r[2] for r in rows]
        a.driver_ok(*fill)
        play.take(b)
        rows = play.paste_check(b, *names)
        assert all(r[3] for r in rows), "remote 1 KB paste arrived wrong"
        pelko += [r[2] for r in rows]
        loads.append(load())
    return floor, pelko, loads


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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=256 << 20)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--peers", type=int, default=20)
    args = parser.parse_args()
    tool = os.path.join("/tmp", "pelko-native-tcp-%d" % os.getpid())
    subprocess.run(["cc", "-O2", "-o", tool, os.path.join(play.ROOT, "scripts", "bench", "native-tcp.c")], check=True)
    try:
        with play.Lan(2) as lan:
            a, b = lan.hosts
            play.start_programs(lan)
            print("machine: %d cores, %s, load %.1f" % (os.cpu_count(), os.uname().release, load()))

            # 1 and 2: the large format (--rounds 0 leaves them out).
            if args.rounds > 0:
                a.driver_ok("fillclip", "--format", FORMAT, args.size, timeout=300)
                before = b.memory_kib("VmHWM")
                times = {case: [] for case, _ in CASES}
                for n in range(args.rounds):
                    one_round(a, b, args.size, tool, times)
                    print("round %d of %d done, load %.1f" % (n + 1, args.rounds, load()), flush=True)
                peak = b.memory_kib("VmHWM")
                mb = args.size / 1e6
                medians = {case: play.median([t for t, _ in times[case]]) for case, _ in CASES}
                print("\n%d MiB, HOSTA -> HOSTB, %d rounds taking turns (MB = 10^6 bytes):" % (args.size >> 20, args.rounds))
                print("  %-4s %-56s %8s %8s %17s %s" % ("", "case", "median", "MB/s", "spread (ms)", "load during the case"))
                for case, label in CASES:
                    values = [t for t, _ in times[case]]
                    print("  %-4s %-56s %6.0f ms %8.1f %8.0f-%-8.0f %s" % (
                        "(%s)" % case, label, medians[case], mb / medians[case] * 1000, min(values), max(values),
                        " ".join("%.1f" % l for _, l in times[case])))
                ratios = [("(b) / (a): Wine's minimal path against native", "a", "b"),
                          ("(c) / (b): the trace per piece, sending", "b", "c"),
                          ("(d) / (c): Pelko serving against the minimal sender with the trace (goal >= 95 %)", "c", "d"),
                          ("(e') / (b): the trace per receive, receiving", "b", "e'"),
                          ("(e) / (e'): Pelko's client against the minimal receiver with the trace (goal >= 95 %)", "e'", "e"),
                          ("(f) / (b): Pelko to Pelko against the minimal path", "b", "f")]
                for text, faster, slower in ratios:
                    print("  %-88s %5.0f %%" % (text, 100.0 * medians[faster] / medians[slower]))
                if before and peak:
                    print("client peak memory: %.1f MiB before, %.1f MiB peak: %.1f MiB above (payload %.0f MiB; goal: payload + 16 MiB)"
                          % (before / 1024, peak / 1024, (peak - before) / 1024, args.size / 1048576))

            # 3: latency of 1 KB pastes against the local floor.
            floor, pelko, loads = latency(a, b, 20, 10)
            print("\npaste latency, 1 KB, %d pastes each (load %.1f-%.1f):" % (len(pelko), min(loads), max(loads)))
            print("  local delayed rendering from memory (floor): median %.2f ms, 95th percentile %.2f ms"
                  % (play.median(floor), play.percentile(floor, 95)))
            print("  pelko.exe, remote, 20 formats:               median %.2f ms, 95th percentile %.2f ms"
                  % (play.median(pelko), play.percentile(pelko, 95)))
            print("  pelko median - floor median: %.2f ms (goal: at most 2 ms)" % (play.median(pelko) - play.median(floor)))

            # 4: many peers at once.
            if args.peers <= 0:
                return 0
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
                  "serving host resident memory %.1f MiB before, %.1f MiB after (load %.1f)"
                  % (args.peers, good, len(results), elapsed, (rss_before or 0) / 1024, (rss_after or 0) / 1024, load()))
    finally:
        if os.path.exists(tool):
            os.unlink(tool)
    return 0


if __name__ == "__main__":
    sys.exit(main())
