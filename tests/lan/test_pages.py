"""The program as a user meets it, with three other hosts on the network: it starts in the
background with its tray icon, whose right click opens the menu; a second start hands over to the
running copy, which opens its main window. On its pages a host checked on the Remote Hosts page is
a friend on the Friends page and in the registry, renaming it in place refuses an empty nick in the
program's message box and takes a good one, and the nick survives a restart, which also brings
another base colour from the registry. Each page is photographed into build/lan-results/screens/."""

import re

from lantest import (HIDDEN_CLASS, MAIN_CLASS, MENU_CLASS, PROGRAM_IMAGE, SETTINGS_KEY, WAIT_MS, WAIT_S, LanTestCase,
                     add_host)

WM_COMMAND = 0x0111
ROW = 18   # the host list's entry height


def crash_signs(program):
    return [l for l in program.stderr().splitlines() if any(s in l for s in ("Unhandled", "page fault", "err:seh"))]


class PagesTest(LanTestCase):
    HOSTS = 4

    def page_list(self, host, tab):
        """Presses tab button 1 to 4; the list box of the page it shows, if it has one."""
        host.driver_ok("send", "--class", MAIN_CLASS, WM_COMMAND, tab)
        rows = [line.split("\t") for line in host.driver_ok("tree", "--class", MAIN_CLASS).lines()]
        pages = [r[0] for r in rows if r[3] == "Pelko Page Class" and r[4] == "1"]
        self.assertEqual(1, len(pages), rows)
        return next((r[0] for r in rows if r[1] == pages[0] and r[3] == "ListBox"), None)

    def right_click_tray_icon(self, host):
        """A real right click on the icon, the right-most of the task bar's notification area."""
        left, top, right, bottom = map(int, self.window_info(host, "Shell_TrayWnd")["rect"].split())
        host.run(["xdotool", "mousemove", str(right - 12), str((top + bottom) // 2), "click", "3"], check=True)

    def open_main_window(self, host):
        """A second start of the program: it hands over to the running copy and ends."""
        second = host.start_program()
        self.assertEqual(0, second.wait(WAIT_S))
        self.assertEqual([], crash_signs(second))
        self.wait_window(host, MAIN_CLASS, visible=True)
        return self.window_info(host, MAIN_CLASS)

    def user(self, host, listbox, row, *actions, x=40):
        """Real mouse and keyboard input (xdotool) with the pointer on an entry of the list."""
        left, top = map(int, host.driver_ok("info", "--hwnd", listbox).fields()["rect"].split()[:2])
        host.run(["xdotool", "mousemove", str(left + x), str(top + row * ROW + ROW // 2)] + list(actions), check=True)

    def rename(self, host, listbox, *keys):
        """A click on the selected entry opens the editor after the double-click time (the
        first of two clicks selects it if it was not). End, Shift+Home select the whole nick,
        wherever the second click put the caret; then the keys (xdotool key names)."""
        self.user(host, listbox, 0, "click", "1", "sleep", "1", "click", "1", "sleep", "1.5",
                  "key", "End", "shift+Home", *keys)

    def test_tray_second_start_and_pages_with_a_friend_renamed_and_kept_across_a_restart(self):
        a, b, c, d = self.hosts
        programs = self.start_and_wait(*self.hosts)
        hidden = self.window_info(a, HIDDEN_CLASS)
        self.assertEqual([int(hidden["pid"])], self.running_pids(a))
        self.assertEqual(("0", "0 0"), (hidden["visible"], hidden["size"]))
        for number, line in enumerate(a.trace.lines()):
            self.assertTrue(line.startswith("#%08d  " % number), line)
        self.right_click_tray_icon(a)
        self.wait_window(a, MENU_CLASS, visible=True)
        self.assertEqual(hidden["pid"], a.driver_ok("info", "--class", MENU_CLASS, "--visible").fields()["pid"])
        a.driver_ok("keys", "escape")
        a.driver_ok("wait", "--class", MENU_CLASS, "--visible", "--gone", "--timeout", WAIT_MS)

        for other in (b, c, d):
            self.wait_trace(a, add_host(other.computer_name))
        main = self.open_main_window(a)
        self.assertEqual((hidden["pid"], "Pelko", "500 300"), (main["pid"], main["title"], main["size"]))
        left, top, right, bottom = map(int, main["rect"].split())
        # Centred: across the screen exactly; down the screen or its work area (above the task bar).
        self.assertEqual(((1024 - 500) // 2, True), (left, abs((top + bottom) // 2 - 768 // 2) <= 20), main["rect"])
        self.assertEqual([], a.driver_ok("items", "--hwnd", self.page_list(a, 1)).lines())   # no friend yet
        mark = b.trace.refresh()
        remote = self.page_list(a, 2)
        # Showing the page asks the network again: b hears a's query (56 bytes).
        self.wait_trace(b, r"  Ear: ReceiveFrom IP: %s Port: \d+;  res=56;" % re.escape(a.address), start=mark)
        names = a.driver_ok("items", "--hwnd", remote).lines()
        self.assertEqual(sorted(h.computer_name for h in (b, c, d)), sorted(names))
        self.user(a, remote, names.index(b.computer_name), "click", "1", x=30)   # on its check box
        self.shoot(a, "page-remote-hosts")

        # Leaving the page saves the mark; the Friends page lists the friend.
        friends = self.page_list(a, 1)
        self.assertEqual([b.computer_name], a.driver_ok("items", "--hwnd", friends).lines())
        self.assertIn(b.computer_name, a.run(["wine", "reg", "query", r"HKLM\Software\Pelko\Hosts"])[1])

        self.rename(a, friends, "BackSpace", "Return")
        self.assertIn("Nick name must have at least one character length.", self.message(a))
        mark = a.trace.refresh()
        self.rename(a, friends, "B", "e", "e", "Return")
        self.wait_trace(a, r"  SaveNick res=1;", start=mark)   # stored; the list is asked after the rename ends
        self.assertEqual(["Bee"], a.driver_ok("items", "--hwnd", friends).lines())
        # The window's margin is in the base colour: the default red 0x20, green 0x42, blue 0x34.
        self.assertEqual("204234", self.shoot(a, "page-friends")(5, 40))
        for tab, name in ((3, "page-options"), (4, "page-about")):
            self.page_list(a, tab)
            self.shoot(a, name)

        # With the main window open, a right click on the icon brings the window to the front
        # instead of opening the menu.
        a.run(["xdotool", "mousemove", "40", "40", "click", "1"], check=True)   # on the desktop
        a.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)
        self.assertEqual("0", self.window_info(a, MAIN_CLASS)["foreground"])
        self.right_click_tray_icon(a)
        a.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)
        self.assertEqual("1", self.window_info(a, MAIN_CLASS)["foreground"])
        self.assertFalse(a.driver("find", "--class", MENU_CLASS, "--visible").ok)

        # Restarted with another base colour: the friend is back under its nick as soon as b
        # answers, and the window has the new colour.
        mark = a.trace.refresh()
        programs[0].kill()
        self.assertEqual([], crash_signs(programs[0]))
        a.driver_ok("wait", "--class", HIDDEN_CLASS, "--gone", "--timeout", WAIT_MS)
        a.reg_add(SETTINGS_KEY, "BaseColor", "REG_DWORD", 0x00903020)   # stored as 0x00RRGGBB
        self.addCleanup(a.run, ["wine", "reg", "delete", SETTINGS_KEY, "/v", "BaseColor", "/f"])
        self.start_and_wait(a)
        self.wait_trace(a, add_host(b.computer_name), start=mark)
        self.open_main_window(a)
        self.assertEqual(["Bee"], a.driver_ok("items", "--hwnd", self.page_list(a, 1)).lines())
        self.assertEqual("903020", self.shoot(a, "main-other-colour")(5, 40))
