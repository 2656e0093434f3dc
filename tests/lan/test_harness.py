"""Tests of the LAN harness and of the driver pelkodrv.exe themselves, run against the stand-in
program (tests/lan/standin), so that they hold whatever state pelko.exe is in: the hosts are
separate computers (names, addresses, displays, clipboards), broadcasts cross the private
network, the driver does what each command says, and nothing is left behind."""

import os
import socket
import struct
import subprocess
import sys
import unittest

import lanhosts
from lantest import (DIALOG_CLASS, HIDDEN_CLASS, MAIN_CLASS, MENU_CLASS, WAIT_MS, WM_OPENMAINWINDOW, LanTestCase)

STANDIN = lanhosts.STANDIN_EXE
STANDIN_IMAGE = os.path.basename(STANDIN)
WM_SHOW_MESSAGE = 0x0400 + 1     # the stand-in shows a message box
WM_GETTEXTLENGTH = 0x000E

# Listens on UDP 4000 inside a host and prints the first datagram and its sender.
_LISTEN = """
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("", 4000))
s.settimeout(30)
print("listening", flush=True)
data, sender = s.recvfrom(100)
print(data.decode(), sender[0], flush=True)
"""
_BROADCAST = """
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.sendto(b"who is there", ("255.255.255.255", 4000))
"""


class TwoHostsTest(LanTestCase):
    HOSTS = 2
    SHARE_LAN = True

    def test_hosts_are_separate_computers_on_one_network(self):
        a, b = self.hosts
        self.assertEqual((0, "hosta\n"), a.run(["hostname"])[:2])
        self.assertEqual((0, "hostb\n"), b.run(["hostname"])[:2])
        self.assertNotEqual(a.display, b.display)
        self.assertNotEqual(a.prefix, b.prefix)
        code, out, _ = a.run(["ip", "-4", "-o", "addr", "show", "dev", "eth0"])
        self.assertEqual(0, code)
        self.assertIn(" %s/24 " % a.address, out)
        # Wine sees the host's own name as the computer name.
        code, out, _ = a.run(["wine", "cmd", "/c", "echo %COMPUTERNAME%"])
        self.assertEqual("HOSTA", out.strip())

    def test_a_broadcast_of_one_host_reaches_the_other(self):
        a, b = self.hosts
        listener = b.popen([sys.executable, "-c", _LISTEN], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            self.assertEqual("listening", listener.stdout.readline().decode().strip())
            code, _, err = a.run([sys.executable, "-c", _BROADCAST])
            self.assertEqual(0, code, err)
            out, _ = listener.communicate(timeout=30)
        finally:
            if listener.poll() is None:
                listener.kill()
                listener.wait()
        self.assertEqual("who is there %s" % a.address, out.decode().strip())

    def test_each_host_has_its_own_clipboard(self):
        a, b = self.hosts
        a.driver_ok("setclip", "--text", "only on a")
        b.driver_ok("setclip", "--text", "only on b")
        self.assertEqual("only on a\n", a.driver_ok("getclip", "CF_UNICODETEXT").stdout)
        self.assertEqual("only on b\n", b.driver_ok("getclip", "CF_UNICODETEXT").stdout)

class TeardownTest(LanTestCase):
    HOSTS = 2

    def test_close_leaves_nothing_behind(self):
        a, b = self.hosts
        a.start_program(STANDIN)
        self.wait_trace(a, "Stand-in: tray icon added")
        namespaces = [h.netns for h in self.hosts] + [self.lan.bridge_ns]
        displays = [h.display for h in self.hosts]
        pids = [p.pid for p in a.programs]
        lan_dir = self.lan.dir
        self.lan.close()
        listing = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout
        for netns in namespaces:
            self.assertNotIn(netns, listing)
        for n in displays:
            self.assertFalse(os.path.exists("/tmp/.X%d-lock" % n), "display %d still locked" % n)
        for pid in pids:
            self.assertFalse(os.path.exists("/proc/%d" % pid), "process %d still there" % pid)
        self.assertFalse(os.path.exists(lan_dir))


class DriverTest(LanTestCase):
    """The driver against the stand-in on one host."""

    SHARE_LAN = True

    def start_standin(self, *args):
        host = self.hosts[0]
        program = host.start_program(STANDIN, args=args)
        self.wait_trace(host, "Stand-in: tray icon added 1")
        return host, program

    def test_text_format_and_file_list_round_trip(self):
        host = self.hosts[0]
        host.driver_ok("setclip", "--text", "Grüße, \"Pelko\"", "--format", "Pelko Test Bytes", "00ff10",
                       "--files", "C:\\windows\\win.ini", "C:\\Pelko")
        self.assertEqual("Grüße, \"Pelko\"\n", host.driver_ok("getclip", "cf_unicodetext").stdout)
        self.assertEqual("00ff10\n", host.driver_ok("getclip", "Pelko Test Bytes").stdout)
        self.assertEqual(["C:\\windows\\win.ini", "C:\\Pelko"], host.driver_ok("getclip", "CF_HDROP").lines())
        names = [line.split("\t")[1] for line in host.driver_ok("formats").lines()]
        self.assertEqual(["CF_UNICODETEXT", "Pelko Test Bytes", "CF_HDROP"], names[:3])
        missing = host.driver("getclip", "CF_DIB")
        self.assertEqual(1, missing.returncode)
        self.assertIn("not on the clipboard", missing.stderr)

    def test_pasting_a_promised_format_makes_its_owner_render_it(self):
        host, _ = self.start_standin("promise", "Pelko Test Delayed", "späte Daten")
        self.assertIsNone(self.find_trace(host, "Stand-in: rendered"))
        self.assertEqual("späte Daten\n", host.driver_ok("getclip", "Pelko Test Delayed", "--wtext").stdout)
        self.wait_trace(host, "Stand-in: rendered")

    def test_windows_are_found_described_and_messaged(self):
        host, program = self.start_standin()
        hidden = host.driver_ok("find", "--class", HIDDEN_CLASS).stdout.strip()
        self.assertRegex(hidden, r"^0x[0-9A-F]{8}$")
        absent = host.driver("wait", "--class", MAIN_CLASS, "--timeout", 200)
        self.assertEqual(1, absent.returncode)
        host.driver_ok("post", "--hwnd", hidden, WM_OPENMAINWINDOW, 0, 0)
        self.wait_window(host, MAIN_CLASS)
        info = self.window_info(host, MAIN_CLASS)
        self.assertEqual("Pelko", info["title"])
        self.assertEqual("500 300", info["size"])
        self.assertEqual("1", info["visible"])
        # Numbers in hex: WM_GETTEXTLENGTH of "Pelko".
        self.assertEqual("5\n", host.driver_ok("send", "--class", MAIN_CLASS, "0x000E").stdout)
        self.assertEqual([str(p) for p in self.running_pids(host, STANDIN_IMAGE)],
                         host.driver_ok("running", info["pid"]).lines())

    def test_a_dialog_is_read_and_its_button_pressed(self):
        host, _ = self.start_standin()
        host.driver_ok("post", "--class", HIDDEN_CLASS, WM_SHOW_MESSAGE)
        self.wait_window(host, DIALOG_CLASS)
        lines = host.driver_ok("dialog", "--class", DIALOG_CLASS).lines()
        self.assertEqual("title\tPelko", lines[0])
        self.assertIn("Stand-in message", [line.split("\t")[-1] for line in lines])
        host.driver_ok("press", "--class", DIALOG_CLASS, 2)   # IDCANCEL
        self.wait_trace(host, "Stand-in: message box returned 2$")
        host.driver_ok("wait", "--class", DIALOG_CLASS, "--gone", "--timeout", WAIT_MS)

    def test_tray_menu_items_are_picked_by_keys_and_the_process_end_is_seen(self):
        host, program = self.start_standin()
        host.driver_ok("tray", "escape")
        self.wait_trace(host, "Stand-in: tray menu chose 0$")
        host.driver_ok("tray", "up", "return")      # the last item: "Exit"
        self.wait_trace(host, "Stand-in: tray menu chose 32771$")
        # Already gone or ending: either way the driver returns once no such process runs.
        host.driver_ok("wait-exit", STANDIN_IMAGE, "--timeout", WAIT_MS)
        self.assertEqual(0, program.wait(30))
        self.assertEqual(1, host.driver("running", STANDIN_IMAGE).returncode)

    def test_registry_values_are_seeded_before_start(self):
        host = self.hosts[0]
        host.reg_add(r"HKLM\Software\Pelko", "TCPPort", "REG_DWORD", 4011)
        code, out, _ = host.run(["wine", "reg", "query", r"HKLM\Software\Pelko", "/v", "TCPPort"])
        self.assertEqual(0, code)
        self.assertRegex(out, r"TCPPort\s+REG_DWORD\s+0xfab")

    def test_screenshot_is_a_png_of_the_whole_display(self):
        host, _ = self.start_standin()
        path = host.screenshot(os.path.join(host.dir, "shot.png"))
        with open(path, "rb") as f:
            header = f.read(24)
        self.assertEqual(b"\x89PNG\r\n\x1a\n", header[:8])
        self.assertEqual((1024, 768), struct.unpack(">II", header[16:24]))


if __name__ == "__main__":
    unittest.main()
