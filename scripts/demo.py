#!/usr/bin/env python3
"""Pelko's main job, shown between two computers: two sandboxed Windows hosts (Wine, each with its
own network namespace, display and computer name) on a private network that exists only here.
HOSTA copies a line of text and a 128 MiB block of its own format; HOSTB takes HOSTA's clipboard
from its tray menu and pastes both. Prints what crossed the network and how fast, and saves
screenshots of both desktops while HOSTB's progress window is open.

    scripts/demo.py [--size BYTES] [--out DIR]     (as root; scripts/run.sh builds and runs it)
"""

import argparse
import os
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lanplay"))
import play  # noqa: E402

TEXT = "Hello from HOSTA, through Pelko"
FORMAT = "Pelko Demo Data"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=128 << 20)
    parser.add_argument("--out", default=os.path.join(play.ROOT, "build", "demo"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    with play.Lan(2) as lan:
        a, b = lan.hosts
        print("Starting Pelko on %s (%s) and %s (%s) ..." % (a.computer_name, a.address, b.computer_name, b.address))
        play.start_programs(lan)
        print("Each lists the other.")

        a.driver_ok("fillclip", "--text", TEXT, "--format", FORMAT, args.size)
        print("%s copied a text and %d bytes of \"%s\"." % (a.computer_name, args.size, FORMAT))

        mark_a = len(a.trace.lines())
        play.take(b)
        print("%s took %s's clipboard; its formats now:" % (b.computer_name, a.computer_name))
        for line in b.driver_ok("formats").lines():
            print("    " + line.split("\t", 1)[1])
        crossed = [l for l in a.trace.lines()[mark_a:] if "DataSock" in l]
        print("What %s served so far (its trace): %s" % (a.computer_name, "; ".join(l.split("  ", 1)[-1] for l in crossed)))

        text = b.driver_ok("getclip", "CF_UNICODETEXT").lines()
        print("%s pasted the text: %r" % (b.computer_name, text[0] if text else ""))

        rows = []
        paste = threading.Thread(target=lambda: rows.extend(play.paste_check(b, FORMAT)))
        paste.start()
        shots = []
        if b.driver("wait", "--class", play.PROGRESS_CLASS, "--visible", "--timeout", 30000).ok:
            for host in (a, b):
                shots.append(host.screenshot(os.path.join(args.out, "%s.png" % host.name)))
        paste.join()
        for name, size, ms, intact in rows:
            print("%s pasted \"%s\": %d bytes in %.0f ms (%.1f MB/s), %s" % (
                b.computer_name, name, size, ms, size / ms / 1000.0 if ms else 0.0,
                "byte for byte equal" if intact else "NOT EQUAL"))
        served = [l for l in a.trace.lines()[mark_a:] if "cmd_SendData Total=" in l]
        if served:
            print("%s served it: %s" % (a.computer_name, served[-1].split("  ", 1)[-1]))
        for shot in shots:
            print("Screenshot: %s" % shot)
        return 0 if rows and all(r[3] for r in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
