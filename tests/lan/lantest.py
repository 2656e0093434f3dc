"""Common ground of the LAN tests: a test case that owns a LAN (for each test, or shared by the
tests of a class), keeps the hosts' traces, program output and a screenshot of each display when
a test fails (build/lan-results/TEST/), and helpers that read the desktop as a user sees it."""

import os
import unittest

import lanhosts
from lanhosts import LanError  # noqa: F401  (for the tests)

RESULTS_DIR = os.path.join(lanhosts.ROOT, "build", "lan-results")

# Which program the program tests start: the real pelko.exe, or (PELKO_LAN_PROGRAM=standin)
# the harness's stand-in, to check the tests themselves.
USING_STANDIN = os.environ.get("PELKO_LAN_PROGRAM") == "standin"
PROGRAM = lanhosts.STANDIN_EXE if USING_STANDIN else lanhosts.PELKO_EXE
PROGRAM_IMAGE = os.path.basename(PROGRAM)

HIDDEN_CLASS = "Pelko Hidden Window Class"
MAIN_CLASS = "Pelko Main Window Class"
MENU_CLASS = "#32768"
DIALOG_CLASS = "#32770"
WM_RBUTTONUP = 0x0205
WM_TRAYNOTIFY = 0x0400 + 4008
WM_OPENMAINWINDOW = 0x0400 + 4010

# Generous limits: they only bound a wait for something that happens, they never time it.
WAIT_MS = 30000
WAIT_S = 30


class LanTestCase(unittest.TestCase):
    """Gives each test self.lan and self.hosts: a fresh LAN of HOSTS hosts, or with SHARE_LAN one
    LAN for all tests of the class, where the programs that a test started end with the test."""

    HOSTS = 1
    SHARE_LAN = False
    _shared = None

    @classmethod
    def setUpClass(cls):
        if cls.SHARE_LAN:
            cls._shared = lanhosts.Lan(cls.HOSTS)
            cls._shared.__enter__()

    @classmethod
    def tearDownClass(cls):
        if cls._shared is not None:
            cls._shared.close()
            cls._shared = None

    def setUp(self):
        if self.SHARE_LAN:
            self.lan = self._shared
        else:
            self.lan = lanhosts.Lan(self.HOSTS)
            self.lan.__enter__()
        self.hosts = self.lan.hosts
        self._first_program = [len(h.programs) for h in self.hosts]
        # On a shared LAN the trace logs hold earlier tests' lines too: this test looks from here.
        self._trace_marks = {h.name: h.trace.refresh() for h in self.hosts}
        self.addCleanup(self._end_test)

    def _end_test(self):
        if self._failed():
            self._save_evidence(os.path.join(RESULTS_DIR, self.id().split(".", 1)[-1]))
        if not self.SHARE_LAN:
            self.lan.close()
            return
        for host, first in zip(self.hosts, self._first_program):
            started = host.programs[first:]
            for program in started:
                program.kill()
            if started:
                # The server removes a dead program's windows; the next test must not meet them.
                host.driver("wait", "--class", HIDDEN_CLASS, "--gone", "--timeout", WAIT_MS)

    def _failed(self):
        # The result has the test's failure by the time the clean-ups run (Python 3.11 leaves
        # outcome.success set then, so the result is asked as well).
        outcome = getattr(self, "_outcome", None)
        if outcome is None or not outcome.success:
            return True
        result = getattr(outcome, "result", None)
        recorded = list(getattr(result, "failures", [])) + list(getattr(result, "errors", []))
        return any(test is self for test, _ in recorded)

    def _save_evidence(self, directory):
        os.makedirs(directory, exist_ok=True)
        for host in self.hosts:
            try:
                host.screenshot(os.path.join(directory, host.name + ".png"))
            except (LanError, OSError):
                pass
        self.lan.save_results(directory)

    # --- helpers that read the user's view --------------------------------------------------

    def wait_trace(self, host, pattern, timeout=WAIT_S):
        """Waits for a trace line of this test that matches; returns (index, line)."""
        return host.trace.wait_for(pattern, timeout, start=self._trace_marks[host.name])

    def find_trace(self, host, pattern):
        return host.trace.find(pattern, start=self._trace_marks[host.name])

    def wait_window(self, host, class_name, timeout_ms=WAIT_MS, visible=False):
        """Waits for a window of the class; returns its handle as the driver prints it."""
        args = ["wait", "--class", class_name, "--timeout", timeout_ms]
        if visible:
            args.append("--visible")
        result = host.driver(*args)
        self.assertTrue(result.ok, "no window of class %r on %s: %r" % (class_name, host.name, result))
        return result.stdout.strip()

    def window_exists(self, host, class_name, visible=False):
        args = ["find", "--class", class_name] + (["--visible"] if visible else [])
        return host.driver(*args).ok

    def window_info(self, host, class_name):
        result = host.driver("info", "--class", class_name)
        self.assertTrue(result.ok, repr(result))
        return result.fields()

    def running_pids(self, host, image):
        result = host.driver("running", image)
        return [int(p) for p in result.lines()] if result.ok else []

    def start_program_and_wait(self, host, exe=PROGRAM, args=()):
        """Starts the program and waits until its start-up is over: its hidden window exists and
        its message loop waits for input (everything start-up does comes before that)."""
        program = host.start_program(exe, args=args)
        self.wait_window(host, HIDDEN_CLASS)
        host.driver_ok("wait-idle", os.path.basename(exe), "--timeout", WAIT_MS)
        return program

    def tray_icon_point(self, host):
        """Where the right-most icon of the notification area sits: Wine's desktop shows the
        task bar along the bottom with the icons at its right end."""
        bar = self.window_info(host, "Shell_TrayWnd")
        left, top, right, bottom = (int(v) for v in bar["rect"].split())
        return right - 12, (top + bottom) // 2
