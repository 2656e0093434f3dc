"""The main window's pages with real hosts, as a user goes through them: a host checked on the
Remote Hosts page is a friend on the Friends page and in the registry, renaming it in place
refuses an empty nick name in the program's message box and takes a good one, and the nick
survives a restart. Along the way each page, the message box and the main window are
photographed into build/lan-results/screens/ (the README shows them)."""

import os
import time

from lantest import (DIALOG_CLASS, HIDDEN_CLASS, MAIN_CLASS, PROGRAM_IMAGE, RESULTS_DIR, WAIT_MS, WM_OPENMAINWINDOW,
                     LanTestCase, add_host)

PAGE_CLASS = "Pelko Page Class"
HOSTS_KEY = r"HKLM\Software\Pelko\Hosts"
WM_COMMAND, WM_KEYDOWN, WM_CHAR, WM_CLEAR, EM_SETSEL = 0x0111, 0x0100, 0x0102, 0x0303, 0x00B1
WM_LBUTTONDOWN, WM_LBUTTONUP = 0x0201, 0x0202
VK_RETURN = 0x0D
ENTRY_HEIGHT = 18
SCREENS = os.path.join(RESULTS_DIR, "screens")


class PagesTest(LanTestCase):
    HOSTS = 4

    def open_main_window(self, host):
        host.driver_ok("post", "--class", HIDDEN_CLASS, WM_OPENMAINWINDOW)
        self.wait_window(host, MAIN_CLASS, visible=True)

    def show_page(self, host, tab):
        """Presses tab button 1 to 4 and returns the list box of the page it shows (or None)."""
        host.driver_ok("send", "--class", MAIN_CLASS, WM_COMMAND, tab)
        rows = [line.split("\t") for line in host.driver_ok("tree", "--class", MAIN_CLASS).lines()]
        pages = [r[0] for r in rows if r[3] == PAGE_CLASS and r[4] == "1"]
        self.assertEqual(1, len(pages), rows)
        lists = [r[0] for r in rows if r[1] == pages[0] and r[3] == "ListBox"]
        return lists[0] if lists else None

    def items(self, host, listbox):
        return host.driver_ok("items", "--hwnd", listbox).lines()

    def click(self, host, window, x, y):
        for message, keys in ((WM_LBUTTONDOWN, 1), (WM_LBUTTONUP, 0)):
            host.driver_ok("send", "--hwnd", window, message, keys, (y << 16) | x)

    def editor_of(self, host, listbox, timeout=10):
        """The in-place editor that a second click on a selected entry opens, once the
        double-click time has passed."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for row in (line.split("\t") for line in host.driver_ok("tree", "--class", MAIN_CLASS).lines()):
                if row[1] == listbox and row[3] == "Edit":
                    return row[0]
            time.sleep(0.2)
        self.fail("no editor opened on %s" % host.name)

    def rename(self, host, listbox, index, text):
        y = index * ENTRY_HEIGHT + ENTRY_HEIGHT // 2
        self.click(host, listbox, 40, y)       # selects
        time.sleep(1.0)                        # no double click
        self.click(host, listbox, 40, y)       # a second click opens the editor
        editor = self.editor_of(host, listbox)
        # What typing does: the old nick selected and cleared, then the new one character by character.
        host.driver_ok("send", "--hwnd", editor, EM_SETSEL, 0, 0xFFFFFFFF)
        host.driver_ok("send", "--hwnd", editor, WM_CLEAR)
        for ch in text:
            host.driver_ok("send", "--hwnd", editor, WM_CHAR, ord(ch))
        # Posted: a refusal holds the editor's Return in the message box until OK.
        host.driver_ok("post", "--hwnd", editor, WM_KEYDOWN, VK_RETURN)

    def shoot(self, host, name, window_class=MAIN_CLASS):
        os.makedirs(SCREENS, exist_ok=True)
        host.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)
        time.sleep(0.5)   # a picture only, no assertion: time for the last paint
        whole = host.screenshot(os.path.join(host.dir, "screen.png"))
        left, top, right, bottom = (int(v) for v in host.driver_ok("info", "--class", window_class, "--visible").fields()["rect"].split())
        path = os.path.join(SCREENS, name + ".png")
        host.run(["/usr/bin/convert", whole, "-crop", "%dx%d+%d+%d" % (right - left + 20, bottom - top + 20,
                                                                        max(left - 10, 0), max(top - 10, 0)),
                  "+repage", path], check=True)

    def test_a_checked_host_becomes_a_friend_renamed_in_place_and_kept_across_a_restart(self):
        a, b, c, d = self.hosts
        programs = self.start_and_wait(*self.hosts)
        for other in (b, c, d):
            self.wait_trace(a, add_host(other.computer_name))
        self.open_main_window(a)

        friends = self.show_page(a, 1)
        self.assertEqual([], self.items(a, friends))   # friends only, and no friend yet
        remote = self.show_page(a, 2)
        names = self.items(a, remote)
        self.assertEqual(sorted(h.computer_name for h in (b, c, d)), sorted(names))
        self.click(a, remote, 30, names.index(b.computer_name) * ENTRY_HEIGHT + ENTRY_HEIGHT // 2)
        self.shoot(a, "page-remote-hosts")

        # Leaving the page saves the friend once; the Friends page lists it by its nick.
        friends = self.show_page(a, 1)
        self.assertEqual([b.computer_name], self.items(a, friends))
        self.assertIn(b.computer_name, a.run(["wine", "reg", "query", HOSTS_KEY])[1])

        self.rename(a, friends, 0, "")
        self.wait_window(a, DIALOG_CLASS, visible=True)
        self.shoot(a, "message-box", DIALOG_CLASS)
        self.assertIn("Nick name must have at least one character length.", self.message(a))
        self.assertEqual([b.computer_name], self.items(a, friends))

        self.rename(a, friends, 0, "Bee")
        deadline = time.monotonic() + 10
        while self.items(a, friends) != ["Bee"] and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertEqual(["Bee"], self.items(a, friends))
        self.shoot(a, "page-friends")
        for tab, name in ((3, "page-options"), (4, "page-about")):
            self.show_page(a, tab)
            self.shoot(a, name)

        # A restart: the friend comes back under its nick as soon as b answers.
        programs[0].kill()
        a.driver_ok("wait", "--class", HIDDEN_CLASS, "--gone", "--timeout", WAIT_MS)
        self.start_and_wait(a)
        self.wait_trace(a, add_host(b.computer_name))
        self.open_main_window(a)
        self.assertEqual(["Bee"], self.items(a, self.show_page(a, 1)))

