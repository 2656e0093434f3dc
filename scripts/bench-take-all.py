#!/usr/bin/env python3
"""Every host takes every other host's clipboard (not a test; run on demand, as root): HOSTS
sandboxed hosts of the LAN harness (scripts/lanplay/lanhosts.py) run the real pelko.exe; in turn each
host copies a text naming it and a SIZE-byte block, and all the others take its clipboard from
their tray menus at once and paste both formats (the block is checked byte for byte, and the
client checks its checksum). HOSTS x (HOSTS - 1) transfers; prints the failures, the paste times,
the time of the whole run and the serving hosts' resident memory.

    scripts/bench-take-all.py [--hosts 20] [--size BYTES]      (as root)
"""

import argparse
import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lanplay"))
import play  # noqa: E402

FORMAT = "Pelko Test Block"
DIALOG_CLASS = "#32770"


def take_and_paste(taker, source, size, results):
    """taker takes source's clipboard from its tray menu (the table's last host is listed first)
    and pastes both formats; appends (taker, source, ok, paste ms, why)."""
    try:
        mark = len(taker.trace.lines())
        taker.driver_ok("tray", *(["down"] * (taker.listed()[::-1].index(source.computer_name) + 1)), "return")
        _, line = taker.trace.wait_for(r"GetRemoteClipInfo: ", timeout=120, start=mark)
        if not line.split("GetRemoteClipInfo: ", 1)[1]:
            status = taker.trace.find(r"Talker::Report: Status=", start=mark)
            taker.driver("press", "--class", DIALOG_CLASS, 1)   # the message box of the failure
            results.append((taker, source, False, 0.0, "take failed: %s" % (taker.trace.lines()[status] if status else "?")))
            return
        (_, got, ms, intact), = play.paste_check(taker, FORMAT)
        text = taker.driver("getclip", "CF_UNICODETEXT").lines()
        ok = intact and got == size and text == ["from " + source.computer_name]
        results.append((taker, source, ok, ms, "" if ok else "pasted %d bytes, %s, text %r" % (got, intact, text)))
    except Exception as error:   # noqa: BLE001  (counted as a failed transfer)
        results.append((taker, source, False, 0.0, repr(error)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--hosts", type=int, default=20)
    parser.add_argument("--size", type=int, default=1 << 20)
    args = parser.parse_args()
    results = []
    with play.Lan(args.hosts) as lan:
        started = time.monotonic()
        play.start_programs(lan)
        print("%d hosts started and listing each other in %.0f s" % (args.hosts, time.monotonic() - started), flush=True)
        before = {h.name: h.memory_kib("VmHWM") for h in lan.hosts}
        started = time.monotonic()
        for source in lan.hosts:
            # The source's user copies (its clipboard is its own again, not one it borrowed).
            source.driver_ok("fillclip", "--text", "from " + source.computer_name, "--format", FORMAT, args.size)
            takers = [threading.Thread(target=take_and_paste, args=(h, source, args.size, results))
                      for h in lan.hosts if h is not source]
            for t in takers:
                t.start()
            for t in takers:
                t.join()
            done = [r for r in results if r[1] is source]
            print("%s served %d takers, %d right" % (source.computer_name, len(done), sum(r[2] for r in done)), flush=True)
        elapsed = time.monotonic() - started
        after = {h.name: h.memory_kib("VmHWM") for h in lan.hosts}
    good = [r for r in results if r[2]]
    times = [r[3] for r in good]
    print("%d of %d transfers right in %.0f s; paste of %d bytes: median %.0f ms, 95th percentile %.0f ms, max %.0f ms"
          % (len(good), len(results), elapsed, args.size, play.median(times) if times else 0,
             play.percentile(times, 95) if times else 0, max(times) if times else 0))
    print("peak resident memory of a host: %.1f MiB before, %.1f MiB after (largest)"
          % (max(v or 0 for v in before.values()) / 1024, max(v or 0 for v in after.values()) / 1024))
    for taker, source, _, _, why in (r for r in results if not r[2]):
        print("FAILED %s took %s: %s" % (taker.computer_name, source.computer_name, why))
    return 0 if len(good) == len(results) == args.hosts * (args.hosts - 1) else 1


if __name__ == "__main__":
    sys.exit(main())
