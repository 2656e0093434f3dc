"""Common ground of the LAN tests: one LAN for all tests of a class, the programs a test started
ended with it, the hosts' traces, output and screenshots kept when a test fails
(build/lan-results/TEST/), and helpers that read the desktop as a user sees it."""

import os
import re
import sys
import time
import unittest

# The harness lives beside the commands that also use it (scripts/lanplay).
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "lanplay"))
import lanhosts  # noqa: E402
from lanhosts import LanError  # noqa: E402,F401  (for the tests)

PROGRAM_IMAGE = "pelko.exe"
SETTINGS_KEY = r"HKLM\Software\Pelko"
HIDDEN_CLASS = "Pelko Hidden Window Class"
MAIN_CLASS = "Pelko Main Window Class"
MENU_CLASS = "#32768"
DIALOG_CLASS = "#32770"
# Generous limits: they only bound a wait for something that happens, they never time it.
WAIT_MS, WAIT_S = 30000, 30


def add_host(name):
    """The trace line of a host table that takes the host."""
    return r"  Hosts: AddHost \[%s\]$" % re.escape(name)


class LanTestCase(unittest.TestCase):
    HOSTS = 1
    _lan = None

    @classmethod
    def setUpClass(cls):
        cls._lan = lanhosts.Lan(cls.HOSTS).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls._lan.close()

    def setUp(self):
        self.lan, self.hosts = self._lan, self._lan.hosts
        self._first_program = [len(h.programs) for h in self.hosts]
        # The trace logs hold earlier tests' lines too: this test looks from here.
        self.marks = {h.name: h.trace.refresh() for h in self.hosts}
        self.addCleanup(self._end_test)

    def _end_test(self):
        outcome = getattr(self, "_outcome", None)
        result = getattr(outcome, "result", None)
        failed = any(getattr(t, "test_case", t) is self   # also the test's sub-tests
                     for t, _ in getattr(result, "failures", []) + getattr(result, "errors", []))
        if outcome is None or not outcome.success or failed:
            directory = os.path.join(lanhosts.ROOT, "build", "lan-results", self.id().split(".", 1)[-1])
            os.makedirs(directory, exist_ok=True)
            for host in self.hosts:
                try:
                    host.screenshot(os.path.join(directory, host.name + ".png"))
                except (LanError, OSError):
                    pass
            self.lan.save_results(directory)
        for host, first in zip(self.hosts, self._first_program):
            for program in host.programs[first:]:
                program.kill()
            if host.programs[first:]:
                # The server removes a dead program's windows; the next test must not meet them.
                host.driver("wait", "--class", HIDDEN_CLASS, "--gone", "--timeout", WAIT_MS)

    def wait_trace(self, host, pattern, timeout=WAIT_S, start=None):
        """Waits for a trace line of this test (or from start on) that matches; (index, line)."""
        return host.trace.wait_for(pattern, timeout, start=self.marks[host.name] if start is None else start)

    def listed(self, host):
        """The names this host's table took during this test, in the order they came."""
        return host.listed(self.marks[host.name])

    def wait_window(self, host, class_name, visible=False):
        result = host.driver("wait", "--class", class_name, "--timeout", WAIT_MS, *(["--visible"] if visible else []))
        self.assertTrue(result.ok, "no window of class %r on %s: %r" % (class_name, host.name, result))
        return result.stdout.strip()

    def window_info(self, host, class_name):
        return host.driver_ok("info", "--class", class_name).fields()

    def running_pids(self, host):
        result = host.driver("running", PROGRAM_IMAGE)
        return [int(p) for p in result.lines()] if result.ok else []

    def start_and_wait(self, host, *hosts):
        """Starts the program on the hosts one right after the other and waits until each has
        finished its start-up: its hidden window exists and its message loop waits for input."""
        programs = [h.start_program() for h in (host,) + hosts]
        for h in (host,) + hosts:
            self.wait_window(h, HIDDEN_CLASS)
            h.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)
        return programs[0] if not hosts else programs

    def take(self, host, keys):
        """Chooses a host in the tray menu by the keys; waits until the request has been made and
        its formats placed (or its message shown)."""
        mark = len(host.trace.lines())
        host.driver_ok("tray", *keys, "return")
        host.trace.wait_for(r"GetRemoteClipInfo: ", timeout=60, start=mark)
        host.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)

    def shoot(self, host, name, window_class=MAIN_CLASS, idle=True):
        """A picture of the visible window of that class with a margin, for the README
        (build/lan-results/screens/NAME.png); returns a function that reads the screen's colour,
        as RRGGBB, at a point given in the window's coordinates."""
        screens = os.path.join(lanhosts.ROOT, "build", "lan-results", "screens")
        os.makedirs(screens, exist_ok=True)
        if idle:
            host.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)
        time.sleep(0.5)   # the last paint reaches the display
        rect = host.driver_ok("info", "--class", window_class, "--visible").fields()["rect"]
        left, top, right, bottom = map(int, rect.split())
        whole = host.screenshot(os.path.join(host.dir, "screen-%s.png" % name))
        host.run(["/usr/bin/convert", whole, "-crop", "%dx%d+%d+%d" % (right - left + 20, bottom - top + 20, max(left - 10, 0),
                  max(top - 10, 0)), "+repage", os.path.join(screens, name + ".png")], check=True)
        return lambda x, y: host.run(["/usr/bin/convert", whole, "-format", "%%[hex:p{%d,%d}]" % (left + x, top + y), "info:"],
                                     check=True)[1].strip()[:6].upper()

    def message(self, host):
        """The text of the message box that host shows, which is then closed with OK."""
        self.wait_window(host, DIALOG_CLASS, visible=True)
        shown = host.driver_ok("dialog", "--class", DIALOG_CLASS).stdout.replace("\r\n", "\n")
        host.driver_ok("press", "--class", DIALOG_CLASS, 1)
        # Gone before the test goes on: a closing box would take the focus from the next menu.
        host.driver_ok("wait", "--class", DIALOG_CLASS, "--visible", "--gone", "--timeout", WAIT_MS)
        return shown
