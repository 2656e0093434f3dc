"""Common ground of the LAN tests: one LAN for all tests of a class, the programs ended with each
test, what the hosts show kept when a test fails (build/lan-results/TEST/), and helpers."""

import os
import sys
import time
import unittest

# The harness lives beside the commands that also use it (scripts/lanplay).
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "lanplay"))
import lanhosts  # noqa: E402
import play  # noqa: E402,F401  (take: chooses a host in the tray menu)

PROGRAM_IMAGE = "pelko.exe"
SETTINGS_KEY = r"HKLM\Software\Pelko"
HIDDEN_CLASS = "Pelko Hidden Window Class"
MAIN_CLASS = "Pelko Main Window Class"
DIALOG_CLASS = "#32770"
# Generous limits: they only bound a wait for something that happens, they never time it.
WAIT_MS, WAIT_S = 30000, 30


class LanTestCase(unittest.TestCase):
    HOSTS = 1
    SHOW_ALL_HOSTS = False   # True: the tray menu lists every host, not only friends

    @classmethod
    def setUpClass(cls):
        cls._lan = lanhosts.Lan(cls.HOSTS).__enter__()
        for host in cls._lan.hosts if cls.SHOW_ALL_HOSTS else []:
            host.reg_add(SETTINGS_KEY, "ShowFriendsOnly", "REG_DWORD", 0)

    @classmethod
    def tearDownClass(cls):
        cls._lan.close()

    def setUp(self):
        self.lan, self.hosts = self._lan, self._lan.hosts
        # The trace logs hold earlier tests' lines too: this test looks from here.
        self.marks = {h.name: h.trace.refresh() for h in self.hosts}
        self.addCleanup(self._end_test)

    def _end_test(self):
        if not self._outcome.success:   # the test or one of its sub-tests failed
            self.lan.save_results(os.path.join(lanhosts.ROOT, "build", "lan-results", self.id().split(".", 1)[-1]))
        for host in self.hosts:
            for program in host.programs:
                program.kill()
            # The server removes a dead program's windows; the next test must not meet them.
            host.driver("wait", "--class", HIDDEN_CLASS, "--gone", "--timeout", WAIT_MS)

    def wait_trace(self, host, pattern, start=None):
        """Waits for a trace line of this test (or from start on) that matches; (index, line)."""
        return host.trace.wait_for(pattern, WAIT_S, start=self.marks[host.name] if start is None else start)

    def wait_window(self, host, class_name, visible=False):
        host.driver_ok("wait", "--class", class_name, "--timeout", WAIT_MS, *(["--visible"] if visible else []))

    def info(self, host, *window):   # --class C or --hwnd H: rect, pid, foreground...
        return host.driver_ok("info", *window).fields()

    def start_and_wait(self, *hosts):
        """Starts the program on the hosts; waits until each has its hidden window and waits for input."""
        programs = [h.start_program() for h in hosts]
        for h in hosts:
            self.wait_window(h, HIDDEN_CLASS)
            h.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)
        return programs

    def shoot(self, host, name):
        """A picture of the main window with a margin for the README (build/lan-results/screens/NAME.png);
        returns a function that reads the screen's colour (RRGGBB) at a point in the window's coordinates."""
        screens = os.path.join(lanhosts.ROOT, "build", "lan-results", "screens")
        os.makedirs(screens, exist_ok=True)
        host.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)
        time.sleep(0.5)   # the last paint reaches the display
        left, top, right, bottom = map(int, self.info(host, "--class", MAIN_CLASS, "--visible")["rect"].split())
        whole = host.screenshot(os.path.join(host.dir, "screen-%s.png" % name))
        host.run(["/usr/bin/convert", whole, "-crop", "%dx%d+%d+%d" % (right - left + 20, bottom - top + 20, max(left - 10, 0),
                  max(top - 10, 0)), "+repage", os.path.join(screens, name + ".png")], check=True)
        return lambda x, y: host.run(["/usr/bin/convert", whole, "-format", "%%[hex:p{%d,%d}]" % (left + x, top + y), "info:"],
                                     check=True)[1].strip()[:6].upper()

    def message(self, host):
        """What the driver tells of the message box that host shows (its text is the title), which is then closed with OK."""
        self.wait_window(host, DIALOG_CLASS, visible=True)
        shown = host.driver_ok("info", "--class", DIALOG_CLASS).stdout.replace("\r\n", "\n")
        host.driver_ok("press", "--class", DIALOG_CLASS, 1)
        # Gone before the test goes on: a closing box would take the focus from the next menu.
        host.driver_ok("wait", "--class", DIALOG_CLASS, "--visible", "--gone", "--timeout", WAIT_MS)
        return shown
