"""The program as a user meets it on one computer: it runs in the background with its hidden
window and tray icon, and a second start hands over to the running copy (which opens its main
window) and ends silently. (Exit from the tray menu: test_discovery.)"""

from lantest import DIALOG_CLASS, HIDDEN_CLASS, MAIN_CLASS, MENU_CLASS, WAIT_MS, WAIT_S, LanTestCase

WS_POPUP, WS_EX_TOOLWINDOW = 0x80000000, 0x00000080
SCREEN_WIDTH, SCREEN_HEIGHT = 1024, 768


def crash_signs(program):
    return [l for l in program.stderr().splitlines() if any(s in l for s in ("Unhandled", "page fault", "err:seh"))]


class FoundationTest(LanTestCase):

    def test_background_start_tray_icon_and_second_start(self):
        host = self.hosts[0]
        program = self.start_and_wait(host)
        hidden = self.window_info(host, HIDDEN_CLASS)
        self.assertEqual([int(hidden["pid"])], self.running_pids(host))
        self.assertEqual(("0", "0 0"), (hidden["visible"], hidden["size"]))
        self.assertTrue(int(hidden["style"], 16) & WS_POPUP and int(hidden["exstyle"], 16) & WS_EX_TOOLWINDOW, hidden)
        self.assertFalse(host.driver("find", "--class", MAIN_CLASS).ok or host.driver("find", "--class", DIALOG_CLASS).ok)
        lines = host.trace.lines()
        self.assertTrue(lines)
        for number, line in enumerate(lines):
            self.assertTrue(line.startswith("#%08d  " % number), line)

        # A real right click on the icon, the right-most of the task bar's notification area.
        left, top, right, bottom = (int(v) for v in self.window_info(host, "Shell_TrayWnd")["rect"].split())
        host.run(["xdotool", "mousemove", str(right - 12), str((top + bottom) // 2), "click", "3"], check=True)
        self.wait_window(host, MENU_CLASS, visible=True)
        self.assertEqual(hidden["pid"], host.driver_ok("info", "--class", MENU_CLASS, "--visible").fields()["pid"])
        host.driver_ok("keys", "escape")
        host.driver_ok("wait", "--class", MENU_CLASS, "--visible", "--gone", "--timeout", WAIT_MS)

        second = host.start_program()
        self.assertEqual(0, second.wait(WAIT_S))
        self.wait_window(host, MAIN_CLASS, visible=True)
        main = self.window_info(host, MAIN_CLASS)
        self.assertEqual((hidden["pid"], "Pelko", "500 300", "1"), (main["pid"], main["title"], main["size"], main["visible"]))
        left, top, right, bottom = (int(v) for v in main["rect"].split())
        # Centred: across the screen exactly; down the screen or its work area (above the task bar).
        self.assertEqual((SCREEN_WIDTH - 500) // 2, left)
        self.assertLessEqual(abs((top + bottom) // 2 - SCREEN_HEIGHT // 2), 20, main["rect"])
        self.assertFalse(host.driver("find", "--class", DIALOG_CLASS).ok)
        self.assertEqual([int(hidden["pid"])], self.running_pids(host))
        self.assertEqual([], crash_signs(program) + crash_signs(second))
