"""What needs a user's real mouse and keyboard (xdotool), on a host among three others: the tray
icon's right click opens the menu, or brings an open main window to the front; a host checked on
the Remote Hosts page becomes a friend, is renamed in place by clicks and keys, and keeps its nick
across a restart, which also brings another base colour (pictures in build/lan-results/screens/)."""

from lantest import HIDDEN_CLASS, MAIN_CLASS, PROGRAM_IMAGE, SETTINGS_KEY, WAIT_MS, WAIT_S, LanTestCase

MENU_CLASS, WM_COMMAND, ROW = "#32768", 0x0111, 18   # ROW: the host list's entry height


class PagesTest(LanTestCase):
    HOSTS = 4

    def page_list(self, host, tab):
        """Presses tab button 1 to 4; the list box of the page it shows, if it has one."""
        host.driver_ok("send", "--class", MAIN_CLASS, WM_COMMAND, tab)
        rows = [line.split("\t") for line in host.driver_ok("tree", "--class", MAIN_CLASS).lines()]
        return next((r[0] for r in rows if r[3] == "ListBox" and r[4] == "1"), None)   # visible: on the page shown

    def user(self, host, x, y, *actions):
        """Real input (xdotool) with the pointer at x, y; then waits until the program is idle."""
        host.run(["xdotool", "mousemove", str(x), str(y), *actions], check=True)
        host.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)

    def right_click_tray_icon(self, host):   # the right-most icon of the task bar's notification area
        left, top, right, bottom = map(int, self.info(host, "--class", "Shell_TrayWnd")["rect"].split())
        self.user(host, right - 12, (top + bottom) // 2, "click", "3")

    def test_tray_icon_and_a_friend_renamed_and_kept_across_a_restart(self):
        a, b = self.hosts[:2]
        programs = self.start_and_wait(*self.hosts)
        self.right_click_tray_icon(a)
        a.driver_ok("keys", "escape")   # once a menu is open; then waits until it has closed
        self.lan.wait_all_listed(WAIT_S, self.marks)
        self.assertEqual(0, a.start_program().wait(WAIT_S))   # hands over to the running copy
        self.wait_window(a, MAIN_CLASS, visible=True)
        remote = self.page_list(a, 2)
        row = a.driver_ok("items", "--hwnd", remote).lines().index(b.computer_name)
        left, top = map(int, self.info(a, "--hwnd", remote)["rect"].split()[:2])
        self.user(a, left + 30, top + row * ROW + ROW // 2, "click", "1")   # on its check box
        self.shoot(a, "page-remote-hosts")
        # Leaving the page saves the mark: the Friends page lists the friend.
        friends = self.page_list(a, 1)
        self.assertEqual([b.computer_name], a.driver_ok("items", "--hwnd", friends).lines())
        self.assertIn(b.computer_name, a.run(["wine", "reg", "query", SETTINGS_KEY + r"\Hosts"])[1])
        # A click on the selected entry opens the editor after the double-click time (the first of
        # two clicks selects it); End, Shift+Home select the whole nick wherever the caret went.
        left, top = map(int, self.info(a, "--hwnd", friends)["rect"].split()[:2])
        self.user(a, left + 40, top + ROW // 2, "click", "1", "sleep", "1", "click", "1", "sleep", "1.5",
                  "key", "End", "shift+Home", "B", "e", "e", "Return")
        self.wait_trace(a, r"  SaveNick res=1;")   # stored; the list is asked after the rename ends
        self.assertEqual(["Bee"], a.driver_ok("items", "--hwnd", friends).lines())
        self.assertEqual("204234", self.shoot(a, "page-friends")(5, 40))   # the margin in the default base colour

        # With the main window open, a right click on the icon brings it to the front, no menu.
        self.user(a, 40, 40, "click", "1")   # on the desktop
        self.assertEqual("0", self.info(a, "--class", MAIN_CLASS)["foreground"])
        self.right_click_tray_icon(a)
        self.assertEqual("1", self.info(a, "--class", MAIN_CLASS)["foreground"])
        self.assertFalse(a.driver("wait", "--class", MENU_CLASS, "--visible", "--timeout", 0).ok)

        # Restarted with another base colour: the friend is back under its nick, in the new colour.
        programs[0].kill()
        a.driver_ok("wait", "--class", HIDDEN_CLASS, "--gone", "--timeout", WAIT_MS)
        a.reg_add(SETTINGS_KEY, "BaseColor", "REG_DWORD", 0x00903020)   # stored as 0x00RRGGBB
        mark = a.trace.refresh()
        self.start_and_wait(a)
        self.wait_trace(a, r"  Hosts: AddHost \[%s\]$" % b.computer_name, start=mark)
        self.assertEqual(0, a.start_program().wait(WAIT_S))
        self.wait_window(a, MAIN_CLASS, visible=True)
        self.assertEqual(["Bee"], a.driver_ok("items", "--hwnd", self.page_list(a, 1)).lines())
        self.assertEqual("903020", self.shoot(a, "main-other-colour")(5, 40))
