"""The main job played between real pelko.exe hosts of a private LAN (lanhosts.py):
start the programs until each lists the others, copy on one, take its clipboard from another's
tray menu and paste there. Used by the demonstration (scripts/demo.py) and the transfer
benchmark (scripts/bench-transfer.py)."""

import os

ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
import lanhosts
from lanhosts import Lan, LanError  # noqa: F401

SETTINGS_KEY = r"HKLM\Software\Pelko"
HIDDEN_CLASS = "Pelko Hidden Window Class"
PROGRESS_CLASS = "Pelko Progress Window Class"


def start_programs(lan, show_all_hosts=True):
    """Starts pelko.exe on every host and waits until each one lists all the others."""
    for host in lan.hosts:
        if show_all_hosts:   # the tray menu lists friends only by default
            host.reg_add(SETTINGS_KEY, "ShowFriendsOnly", "REG_DWORD", 0)
        host.start_program()
    for host in lan.hosts:
        host.driver_ok("wait", "--class", HIDDEN_CLASS, "--timeout", 60000)
    lan.wait_all_listed(60)


def take(host, keys=("down",)):
    """On host, chooses the tray menu's item at keys (the first item: the host table's last host,
    the only other one of two); waits until its formats are placed or its message is shown;
    returns the trace lines since."""
    mark = host.trace.refresh()
    host.driver_ok("tray", *keys, "return")
    host.trace.wait_for(r"GetRemoteClipInfo: ", timeout=60, start=mark)
    host.driver_ok("wait-idle", "pelko.exe", "--timeout", 60000)
    return host.trace.lines()[mark:]


def paste_check(host, *names, timeout=600):
    """Pastes each format on host; returns [(name, size, milliseconds, intact)]."""
    result = host.driver("pastecheck", *names, "--timeout", 60000, timeout=timeout)
    rows = []
    for line in result.lines():
        name, size, ms, verdict = line.split("\t")
        rows.append((name, int(size), float(ms), verdict == "ok"))
    return rows


def median(values):
    ordered = sorted(values)
    n = len(ordered)
    return ordered[n // 2] if n % 2 else (ordered[n // 2 - 1] + ordered[n // 2]) / 2


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]
