#!/usr/bin/env python3
"""Benchmark (not a test) of one very large paste between two sandboxed hosts (real pelko.exe under
Wine, scripts/lanplay/lanhosts.py): HOSTA copies SIZE bytes of a format of its own, HOSTB takes HOSTA's
clipboard from its tray menu and pastes the format. Prints, with the machine's load beside:

  1. the paste: byte for byte equal or not, its time, the percentages that the progress window's
     title showed while it ran;
  2. memory: HOSTB's pelko.exe (the client) and HOSTA's (the serving host), resident before, peak
     during (VmHWM, reset before the paste) and resident after, against the goals: client peak at
     most payload + 16 MiB above its start, serving host at most twice the payload;
  3. Cancel pressed in the progress window once its title reaches each of the given percentages:
     the percentage at the press, the message shown, how long the paste took to end, and both
     hosts' memory after;
  4. with --upper, a format of 2 GiB - 1 bytes (the largest a reply can announce): whether it
     crossed, or the message that ended it.

Run the memory-heavy cases alone on a shared machine: a 1 GiB paste holds about six copies of the
payload across the two hosts' processes (the clipboards' own copies in each wineserver, the
serving copy, the client's block, the pasting program's copy).

    scripts/bench-large-paste.py [--size BYTES] [--cancel-at P,P,...] [--upper] [--upper-only] [--cancel-only]
                                                                                      (as root)
"""

import argparse
import os
import re
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lanplay"))
import play  # noqa: E402

FORMAT = "Pelko Large Block"
UPPER_FORMAT = "Pelko Largest Block"
DIALOG_CLASS = "#32770"
CANCEL_BUTTON = 4
MIB = 1 << 20


def load():
    return "load %.1f" % os.getloadavg()[0]


def pelko_pid(host):
    pid = host.program_pid()
    if pid is None:
        raise play.LanError("pelko.exe is not running on %s" % host.name)
    return pid


def reset_peak(pid):
    with open("/proc/%d/clear_refs" % pid, "w") as f:
        f.write("5")   # the peak resident set starts again from the present one


def progress_title(host):
    result = host.driver("info", "--class", play.PROGRESS_CLASS, "--visible")
    if not result.ok:
        return None
    return result.fields().get("title")


def percent_of(title):
    try:
        return int(title.split("%", 1)[0])
    except (AttributeError, ValueError):
        return None


# Moments of one paste, as the trace lines show them on each host (seen within about 0.2 s).
PHASES = [("b", "render asked", r"  OnRenderFormat "), ("a", "request served", r"  DataSock cmd_GetData$"),
          ("a", "clipboard read, checksum done", r"  DataSock : cmd_SendData Total="),
          ("b", "reply arrives", r"  CTalker::ReadClipData:  Total"), ("a", "last piece sent", r"  DataSock: Finished to cmd_SendData$"),
          ("b", "received and checked", r"  CTalker::ReadClipData Finished"), ("b", "fetch ended", r"  Close Progress$")]


class PhaseWatch:
    """Notes when each phase's trace line first appears after the start."""

    def __init__(self, hosts):
        self.hosts, self.start, self.seen = hosts, time.monotonic(), {}
        self.marks = {key: len(host.trace.lines()) for key, host in hosts.items()}
        self.stop = False
        self.thread = threading.Thread(target=self._run)
        self.thread.start()

    def _run(self):
        while not self.stop and len(self.seen) < len(PHASES):
            for key, label, pattern in PHASES:
                if label not in self.seen and self.hosts[key].trace.find(pattern, self.marks[key]) is not None:
                    self.seen[label] = time.monotonic() - self.start
            time.sleep(0.1)

    def report(self, end):
        self.stop = True
        self.thread.join()
        moments = ["%s %.1f s" % (label, self.seen[label]) for _, label, _ in PHASES if label in self.seen]
        return ", ".join(moments + ["paste returned %.1f s" % end])


class Paste:
    """HOSTB's paste of one format on a thread of its own; (name, size, ms, intact) rows."""

    def __init__(self, host, name):
        self.rows, self.started = None, time.monotonic()
        self.thread = threading.Thread(target=self._run, args=(host, name))
        self.thread.start()

    def _run(self, host, name):
        self.rows = play.paste_check(host, name, timeout=3600)
        self.ended = time.monotonic()

    def running(self):
        return self.thread.is_alive()


def message(host, paste):
    """The text of the message box that host shows, closed with OK; None when the paste ended
    without one."""
    while not host.driver("wait", "--class", DIALOG_CLASS, "--visible", "--timeout", 0).ok:
        if not paste.running():
            return None
        time.sleep(0.2)
    shown = host.driver_ok("info", "--class", DIALOG_CLASS).stdout.replace("\r\n", "\n")
    shown = next(l[len("title "):] for l in shown.splitlines() if l.startswith("title "))   # the box's text is its title
    host.driver_ok("press", "--class", DIALOG_CLASS, 1)
    host.driver("wait", "--class", DIALOG_CLASS, "--visible", "--gone", "--timeout", 30000)
    return shown


def memory_line(label, pid, start_kib):
    rss, peak = play.lanhosts.memory_kib(pid, "VmRSS"), play.lanhosts.memory_kib(pid, "VmHWM")
    return "  %-20s start %7.1f MiB, peak %7.1f MiB (+%.1f), now %7.1f MiB (+%.1f)" % (
        label, start_kib / 1024, peak / 1024, (peak - start_kib) / 1024, rss / 1024, (rss - start_kib) / 1024)


def whole_paste(a, b, size, pa, pb):
    start_a, start_b = play.lanhosts.memory_kib(pa, "VmRSS"), play.lanhosts.memory_kib(pb, "VmRSS")
    reset_peak(pa)
    reset_peak(pb)
    play.take(b)
    print("paste of %d MiB starts (%s)" % (size // MIB, load()), flush=True)
    watch = PhaseWatch({"a": a, "b": b})
    paste, titles = Paste(b, FORMAT), []
    while paste.running():
        title = progress_title(b)
        if title and (not titles or titles[-1] != title):
            titles.append(title)
        time.sleep(0.5)
    (name, got, ms, intact), = paste.rows
    peak_a, peak_b = play.lanhosts.memory_kib(pa, "VmHWM"), play.lanhosts.memory_kib(pb, "VmHWM")
    print("  %s: %d bytes in %.1f s (%.1f MB/s), %s (%s)" % (name, got, ms / 1000, got / ms / 1000,
          "byte for byte equal" if intact and got == size else "WRONG", load()))
    print("  moments after the paste began: %s" % watch.report(paste.ended - watch.start))
    shown = [percent_of(t) for t in titles]
    print("  progress window titles seen: %d distinct, %s ... %s" % (len(titles), titles[:1], titles[-1:]))
    time.sleep(5)   # the serving connection ends and frees its block
    print(memory_line("client (HOSTB)", pb, start_b))
    print(memory_line("serving (HOSTA)", pa, start_a))
    print("  goals: client peak - start <= payload + 16 MiB = %d MiB: %s; serving peak <= 2 x payload = %d MiB "
          "above its start: %s" % (size // MIB + 16, "met" if peak_b - start_b <= size // 1024 + 16 * 1024 else "NOT met",
                                   2 * size // MIB, "met" if peak_a - start_a <= 2 * size // 1024 else "NOT met"))
    return intact and got == size and len([p for p in shown if p is not None]) > 1


def received_percent(host, mark):
    """How much of the paste has arrived, by the client's last receive line (None before one)."""
    lines = host.trace.lines()
    for line in reversed(lines[mark:]):
        found = re.search(r"CTalker::ReadBuffer rcv \d+ :  (\d+) of (\d+)$", line)
        if found:
            return 100.0 * int(found.group(1)) / int(found.group(2))
    return None


def cancelled_paste(a, b, target, pa, pb, start_a, start_b):
    play.take(b)
    mark = len(b.trace.lines())
    paste, pressed_at = Paste(b, FORMAT), None
    while paste.running():
        percent = received_percent(b, mark)
        if percent is not None and percent >= target:
            pressed = time.monotonic()
            b.driver_ok("press", "--class", play.PROGRESS_CLASS, CANCEL_BUTTON)
            pressed_at = "%.1f" % received_percent(b, mark)
            break
        time.sleep(0.05)
    shown = message(b, paste) if pressed_at is not None else None
    paste.thread.join()
    (_, got, _, intact), = paste.rows
    ended = "%.1f s after the press" % (paste.ended - pressed) if pressed_at is not None else "-"
    print("  cancel at %3s %%: pressed with %s %% received, message %r, paste ended %s with %d bytes (%s)"
          % (target, pressed_at, shown, ended, got, load()))
    time.sleep(5)
    print(memory_line("client (HOSTB)", pb, start_b))
    print(memory_line("serving (HOSTA)", pa, start_a))
    return pressed_at is not None and shown and "cancelled by user" in shown and got == 0


def upper_bound(a, b, pa, pb):
    """2 GiB - 1 bytes from HOSTA's clipboard, or, where Wine's clipboard cannot hold that much
    (its server takes at most 2 GiB - 4 KiB in one request), from the minimal server in its place."""
    size = (1 << 31) - 1
    name = UPPER_FORMAT
    served = a.driver("fillclip", "--format", UPPER_FORMAT, size, timeout=1200)
    server = None
    if not served.ok:
        print("  HOSTA's clipboard cannot hold 2 GiB - 1 bytes: %s" % served.stderr.strip().splitlines()[-1:])
        name = FORMAT   # taken from HOSTA's program, then fetched from the minimal server
        a.driver_ok("fillclip", "--format", FORMAT, 1000)
    play.take(b)
    if not served.ok:
        for program in a.programs:
            if program.name == "pelko.exe" and program.running():
                program.kill()
        server = a.popen(["wine", os.path.join(play.lanhosts.BUILD, "bench", "bench_min_server.exe"), "4001", str(size)],
                         subprocess.PIPE, subprocess.DEVNULL)
        if server.stdout.readline().strip() != b"LISTENING":
            raise play.LanError("minimal server did not start")
    print("paste of 2 GiB - 1 = %d bytes starts (%s)" % (size, load()), flush=True)
    paste = Paste(b, name)
    shown = message(b, paste)
    paste.thread.join()
    (_, got, ms, intact), = paste.rows
    if intact and got == size:
        print("  crossed: %d bytes, byte for byte equal, in %.1f s (%s)" % (got, ms / 1000, load()))
    else:
        print("  did not cross: %d bytes pasted, message %r (%s)" % (got, shown, load()))
    try:
        print("  HOSTB's pelko.exe still running: %s, resident %.1f MiB" % (bool(pelko_pid(b)), play.lanhosts.memory_kib(pelko_pid(b), "VmRSS") / 1024))
    except play.LanError as error:
        print("  %s" % error)
    if server is not None:
        server.kill()
        server.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=1 << 30)
    parser.add_argument("--cancel-at", default="2,50,99")
    parser.add_argument("--upper", action="store_true")
    parser.add_argument("--upper-only", action="store_true")
    parser.add_argument("--cancel-only", action="store_true")
    args = parser.parse_args()
    with play.Lan(2) as lan:
        a, b = lan.hosts
        play.start_programs(lan)
        print("machine: %d cores, %s, %s" % (os.cpu_count(), os.uname().release, load()))
        pa, pb = pelko_pid(a), pelko_pid(b)
        if args.upper_only:
            a.driver_ok("fillclip", "--format", FORMAT, 1000)
            upper_bound(a, b, pa, pb)
            return 0
        a.driver_ok("fillclip", "--format", FORMAT, args.size, timeout=1200)
        time.sleep(2)
        start_a, start_b = play.lanhosts.memory_kib(pa, "VmRSS"), play.lanhosts.memory_kib(pb, "VmRSS")
        ok = args.cancel_only or whole_paste(a, b, args.size, pa, pb)
        for target in [float(p) for p in args.cancel_at.split(",") if p]:
            ok = cancelled_paste(a, b, target, pa, pb, start_a, start_b) and ok
        if args.upper:
            upper_bound(a, b, pa, pb)
        print("both programs running at the end: %s" % bool(pelko_pid(a) and pelko_pid(b)))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
