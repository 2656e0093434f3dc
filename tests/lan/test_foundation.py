"""The program as a user meets it on one computer: it starts and runs in the notification area
with its hidden window, a second start hands over to the running copy (which opens its main
window) and ends silently, the tray icon answers a right click with the tray menu, and "Exit"
from that menu ends the process cleanly.

These run against build/windows/pelko.exe (PELKO_LAN_PROGRAM=standin: against the harness's
stand-in, which checks the tests themselves)."""

import unittest

from lantest import (DIALOG_CLASS, HIDDEN_CLASS, MAIN_CLASS, MENU_CLASS, PROGRAM, PROGRAM_IMAGE,
                     WAIT_MS, WAIT_S, LanTestCase)

WS_POPUP = 0x80000000
WS_EX_TOOLWINDOW = 0x00000080
SCREEN_WIDTH, SCREEN_HEIGHT = 1024, 768


def _crash_signs(stderr):
    return [line for line in stderr.splitlines()
            if "Unhandled" in line or "page fault" in line or "Backtrace" in line or "err:seh" in line]


class FoundationTest(LanTestCase):

    def test_start_runs_in_the_background_with_its_hidden_window(self):
        host = self.hosts[0]
        program = self.start_program_and_wait(host)
        self.assertTrue(program.running())
        self.assertEqual(1, len(self.running_pids(host, PROGRAM_IMAGE)))
        hidden = self.window_info(host, HIDDEN_CLASS)
        self.assertEqual("0", hidden["visible"])
        self.assertEqual("0 0", hidden["size"])
        self.assertTrue(int(hidden["style"], 16) & WS_POPUP, hidden)
        self.assertTrue(int(hidden["exstyle"], 16) & WS_EX_TOOLWINDOW, hidden)
        # Nothing is shown at start: no main window, no message box.
        self.assertFalse(self.window_exists(host, MAIN_CLASS))
        self.assertFalse(self.window_exists(host, DIALOG_CLASS))
        self.assertEqual([], _crash_signs(program.stderr()))

    def test_trace_lines_are_numbered_from_zero(self):
        host = self.hosts[0]
        self.start_program_and_wait(host)
        index, first = host.trace.wait_for(r".", WAIT_S)
        self.assertEqual(0, index)
        self.assertTrue(first.startswith("#00000000  "), first)
        for number, line in enumerate(host.trace.lines()):
            self.assertTrue(line.startswith("#%08d  " % number), line)

    def test_second_start_ends_silently_and_the_first_opens_its_main_window(self):
        host = self.hosts[0]
        first = self.start_program_and_wait(host)
        first_pid = self.window_info(host, HIDDEN_CLASS)["pid"]
        self.assertFalse(self.window_exists(host, MAIN_CLASS))

        second = host.start_program(PROGRAM)
        self.assertEqual(0, second.wait(WAIT_S))
        self.assertTrue(first.running())
        self.wait_window(host, MAIN_CLASS)
        main = self.window_info(host, MAIN_CLASS)
        self.assertEqual(first_pid, main["pid"], "the running copy owns the main window")
        self.assertEqual("Pelko", main["title"])
        self.assertEqual("500 300", main["size"])
        self.assertEqual("1", main["visible"])
        left, top, right, bottom = (int(v) for v in main["rect"].split())
        # Centred: across the screen exactly; down the screen or its work area (above the task bar).
        self.assertEqual((SCREEN_WIDTH - 500) // 2, left)
        self.assertLessEqual(abs((top + bottom) // 2 - SCREEN_HEIGHT // 2), 20, main["rect"])
        # Silently: no message box anywhere, and still one copy.
        self.assertFalse(self.window_exists(host, DIALOG_CLASS))
        self.assertEqual([int(first_pid)], self.running_pids(host, PROGRAM_IMAGE))
        self.assertEqual([], _crash_signs(second.stderr()))

    def test_tray_icon_was_added_and_opens_the_menu(self):
        host = self.hosts[0]
        program = self.start_program_and_wait(host)
        owner = self.window_info(host, HIDDEN_CLASS)["pid"]
        # A real right click on the icon in the shell's notification area.
        x, y = self.tray_icon_point(host)
        code, _, err = host.run(["xdotool", "mousemove", str(x), str(y), "click", "3"])
        self.assertEqual(0, code, err)
        self.wait_window(host, MENU_CLASS, visible=True)
        self.assertEqual(owner, host.driver_ok("info", "--class", MENU_CLASS, "--visible").fields()["pid"])
        host.driver_ok("keys", "escape")
        host.driver_ok("wait", "--class", MENU_CLASS, "--visible", "--gone", "--timeout", WAIT_MS)
        self.assertTrue(program.running())

    def test_exit_from_the_tray_menu_ends_the_process_cleanly(self):
        host = self.hosts[0]
        program = self.start_program_and_wait(host)
        # "Exit" is the last item of the menu, whatever hosts are listed above it.
        host.driver_ok("tray", "up", "return")
        self.assertEqual(0, program.wait(WAIT_S))
        host.driver_ok("wait", "--class", HIDDEN_CLASS, "--gone", "--timeout", WAIT_MS)
        self.assertEqual([], self.running_pids(host, PROGRAM_IMAGE))
        self.assertEqual([], _crash_signs(program.stderr()))

    def test_open_main_window_from_the_tray_menu(self):
        host = self.hosts[0]
        self.start_program_and_wait(host)
        # "Open Main Window" is the item above "Exit".
        host.driver_ok("tray", "up", "up", "return")
        self.wait_window(host, MAIN_CLASS)
        main = self.window_info(host, MAIN_CLASS)
        self.assertEqual(("Pelko", "500 300", "1"), (main["title"], main["size"], main["visible"]))


if __name__ == "__main__":
    unittest.main()
