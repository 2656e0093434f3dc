"""Discovery between real pelko.exe hosts on one private network: running hosts find each other
(each start's query is answered by every host) and list each other in their tray menus, a host
that exits says goodbye and the others drop it, and a host whose TCP port is taken tells its
user "Failed to initialize server" and ends.

All tests share one LAN of three hosts; the programs a test starts end with it (killed, so they
send no goodbye: the next test starts every program afresh, with empty host tables)."""

import re
import subprocess
import sys

from lantest import DIALOG_CLASS, HIDDEN_CLASS, SETTINGS_KEY, WAIT_S, LanTestCase, add_host


class DiscoveryTest(LanTestCase):
    HOSTS = 3

    def test_hosts_find_each_other_list_each_other_and_drop_one_that_exits(self):
        a, b, c = self.hosts
        for host in (a, b):   # the tray lists every host, not only friends
            host.reg_add(SETTINGS_KEY, "ShowFriendsOnly", "REG_DWORD", 0)
            self.addCleanup(host.run, ["wine", "reg", "delete", SETTINGS_KEY, "/v", "ShowFriendsOnly", "/f"])
        programs = self.start_and_wait(*self.hosts)
        self.lan.wait_all_listed(WAIT_S, self.marks)
        for host in self.hosts:
            # Each once, and never itself.
            self.assertEqual(sorted(o.computer_name for o in self.hosts if o is not host), sorted(self.listed(host)))

        # The tray menu lists the hosts, the last to arrive first; choosing one asks that host for its formats.
        arrived = [h for name in self.listed(a) for h in (b, c) if h.computer_name == name]
        for keys, expected in ((["down"], arrived[-1]), (["down", "down"], arrived[0])):
            expected.driver_ok("setclip", "--text", "from " + expected.computer_name)
            mark = expected.trace.refresh()
            self.take(a, keys)
            self.wait_trace(expected, r"  Server: Connection accepted from IP: %s$" % re.escape(a.address), start=mark)
            self.wait_trace(expected, r"  DataSock cmd_GetInfo$", start=mark)

        # c exits from its tray menu: its goodbye reaches a and b, which drop it.
        c.driver_ok("tray", "up", "return")
        self.assertEqual(0, programs[2].wait(WAIT_S))
        for host in (a, b):
            self.wait_trace(host, r"  Ear: Host \[%s\] left$" % c.computer_name)
        self.assertIsNone(c.trace.find(r"CServer: Failed", start=self.marks[c.name]))
        # a's tray now lists only b (the item below it is "Lock", which is not a host).
        mark = b.trace.refresh()
        self.take(a, ["down"])
        self.wait_trace(b, r"  Server: Connection accepted from IP: %s$" % re.escape(a.address), start=mark)

        # Back again: c is found anew by both.
        mark_a, mark_b = a.trace.refresh(), b.trace.refresh()
        c.start_program()
        self.wait_trace(a, add_host(c.computer_name), start=mark_a)
        self.wait_trace(b, add_host(c.computer_name), start=mark_b)
        self.wait_trace(c, add_host(a.computer_name))
        self.wait_trace(c, add_host(b.computer_name))

    def test_a_host_whose_tcp_port_is_taken_says_so_and_ends(self):
        host = self.hosts[0]
        holder = host.popen([sys.executable, "-c", _HOLD_TCP_PORT], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            self.assertEqual("holding", holder.stdout.readline().decode().strip())
            program = host.start_program()
            self.wait_window(host, DIALOG_CLASS, visible=True)
            self.assertTrue(program.running())   # the message waits for the user
            self.shoot(host, "message-box", DIALOG_CLASS)
            self.assertIn("Failed to initialize server", self.message(host))
            program.wait(WAIT_S)
            self.assertFalse(host.driver("find", "--class", HIDDEN_CLASS).ok)
            self.assertEqual([], self.running_pids(host))
            self.wait_trace(host, r"  CServer: Failed to listen on TCP port 4001 \(10048\)$")
            # It ended before its first broadcast: nothing reached its own listener.
            self.assertIsNone(host.trace.find(r"Ear: ReceiveFrom", start=self.marks[host.name]))
        finally:
            holder.kill()
            holder.communicate()   # waits, and closes its pipes


# Listens on TCP 4001 inside a host (another program that has the port) until killed.
_HOLD_TCP_PORT = """
import signal, socket
s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
s.bind(("", 4001))
s.listen(1)
print("holding", flush=True)
signal.pause()
"""

