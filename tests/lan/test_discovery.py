"""Discovery between real pelko.exe hosts on one private network: running hosts find each other
(each start's query is answered by every host) and list each other in their tray menus, a host
that exits says goodbye and the others drop it, a host on another UDP port stays alone, a host
whose TCP port is taken tells its user "Failed to initialize server" and ends, and hand-made
datagrams from another host's namespace (tests/lan/whotool.py) get the handling and the answers,
byte for byte, that the program gives them.

All tests share one LAN of three hosts; the programs a test starts end with it (killed, so they
send no goodbye: the next test starts every program afresh, with empty host tables)."""

import json
import os
import re
import struct
import subprocess
import sys
import time
import unittest

from lantest import (DIALOG_CLASS, HIDDEN_CLASS, PROGRAM_IMAGE, USING_STANDIN, WAIT_MS, WAIT_S, LanTestCase)

HERE = os.path.dirname(os.path.abspath(__file__))
WHOTOOL = os.path.join(HERE, "whotool.py")
SETTINGS_KEY = r"HKLM\Software\Pelko"
SIGNATURE = 0x12345678


def add_host_pattern(name):
    return r"  Hosts: AddHost \[%s\]$" % re.escape(name)


def who_fields(hex_text):
    """(signature, command, error, length, checksum, sequence, nick) of a 56-byte datagram."""
    data = bytes.fromhex(hex_text)
    fields = struct.unpack("<6I", data[:24])
    nick = data[24:56].decode("utf-16-le")
    return fields + (nick,)


@unittest.skipIf(USING_STANDIN, "discovery needs the real program")
class DiscoveryTest(LanTestCase):
    HOSTS = 3
    SHARE_LAN = True

    def start_all(self, hosts):
        """Starts the program on the hosts one right after the other, then waits until each has
        finished its start-up."""
        programs = [host.start_program() for host in hosts]
        for host in hosts:
            self.wait_window(host, HIDDEN_CLASS)
            host.driver_ok("wait-idle", PROGRAM_IMAGE, "--timeout", WAIT_MS)
        return programs

    def listed(self, host):
        """The names this host's table took, in the order they came, from this test's trace."""
        names = []
        for line in host.trace.lines()[self._trace_marks[host.name]:]:
            match = re.search(r"  Hosts: AddHost \[(.*)\]$", line)
            if match:
                names.append(match.group(1))
        return names

    def seed(self, host, value, data):
        host.reg_add(SETTINGS_KEY, value, "REG_DWORD", data)
        self.addCleanup(host.run, ["wine", "reg", "delete", SETTINGS_KEY, "/v", value, "/f"])

    def test_hosts_find_each_other_list_each_other_and_drop_one_that_exits(self):
        a, b, c = self.hosts
        for host in (a, b):
            self.seed(host, "ShowFriendsOnly", 0)   # the tray lists every host, not only friends
        started = time.monotonic()
        programs = self.start_all(self.hosts)
        for host in self.hosts:
            for other in self.hosts:
                if other is not host:
                    self.wait_trace(host, add_host_pattern(other.computer_name))
        print("      (all three listed each other %.1f s after the first start)" % (time.monotonic() - started),
              flush=True)
        for host in self.hosts:
            # Each once, and never itself.
            self.assertEqual(sorted(o.computer_name for o in self.hosts if o is not host), sorted(self.listed(host)))

        # The tray menu lists the hosts, the last to arrive first; choosing one asks that host for its formats.
        order = [h.computer_name for h in (b, c)]
        arrived = [n for n in self.listed(a) if n in order]
        by_name = {b.computer_name: b, c.computer_name: c}
        for host in (b, c):
            host.driver_ok("setclip", "--text", "from " + host.computer_name)
        for keys, expected in ((["down", "return"], by_name[arrived[-1]]), (["down", "down", "return"], by_name[arrived[0]])):
            mark = expected.trace.refresh()
            a.driver_ok("tray", *keys)
            expected.trace.wait_for(r"  Server: Connection accepted from IP: %s$" % re.escape(a.address), WAIT_S, start=mark)
            expected.trace.wait_for(r"  DataSock cmd_GetInfo$", WAIT_S, start=mark)

        # c exits from its tray menu: its goodbye reaches a and b, which drop it.
        c.driver_ok("tray", "up", "return")
        self.assertEqual(0, programs[2].wait(WAIT_S))
        for host in (a, b):
            self.wait_trace(host, r"  Ear: Host \[%s\] left$" % c.computer_name)
        self.assertIsNone(self.find_trace(c, r"CServer: Failed"))
        # a's tray now lists only b (the item below it is "Lock", which is not a host).
        mark = b.trace.refresh()
        a.driver_ok("tray", "down", "return")
        b.trace.wait_for(r"  Server: Connection accepted from IP: %s$" % re.escape(a.address), WAIT_S, start=mark)

        # Back again: c is found anew by both.
        mark_a, mark_b = a.trace.refresh(), b.trace.refresh()
        c.start_program()
        a.trace.wait_for(add_host_pattern(c.computer_name), WAIT_S, start=mark_a)
        b.trace.wait_for(add_host_pattern(c.computer_name), WAIT_S, start=mark_b)
        self.wait_trace(c, add_host_pattern(a.computer_name))
        self.wait_trace(c, add_host_pattern(b.computer_name))

    def test_a_host_on_another_udp_port_stays_alone(self):
        a, b, c = self.hosts
        self.seed(b, "UDPPort", 4100)
        self.start_all([a, b])
        # b hears its own query on its port (and answers itself), so its listener runs.
        self.wait_trace(b, r"  Ear: ReceiveFrom IP: %s Port: \d+;  res=56; err=0;$" % re.escape(b.address))
        # c starts after both: a and c find each other, b (started before c) hears neither.
        self.start_all([c])
        self.wait_trace(a, add_host_pattern(c.computer_name))
        self.wait_trace(c, add_host_pattern(a.computer_name))
        self.assertEqual([], self.listed(b))
        self.assertEqual([c.computer_name], self.listed(a))
        self.assertEqual([a.computer_name], self.listed(c))
        # Nothing that a or c sent on 4000 reached b's listener on 4100.
        for other in (a, c):
            self.assertIsNone(self.find_trace(b, r"  Ear: ReceiveFrom IP: %s " % re.escape(other.address)))

    def test_a_host_whose_tcp_port_is_taken_says_so_and_ends(self):
        host = self.hosts[0]
        holder = host.popen([sys.executable, "-c", _HOLD_TCP_PORT], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            self.assertEqual("holding", holder.stdout.readline().decode().strip())
            program = host.start_program()
            self.wait_window(host, DIALOG_CLASS, visible=True)
            lines = host.driver_ok("dialog", "--class", DIALOG_CLASS).lines()
            self.assertIn("Failed to initialize server", [line.split("\t")[-1] for line in lines])
            self.assertTrue(program.running())   # the message waits for the user
            host.driver_ok("press", "--class", DIALOG_CLASS, 1)   # OK
            program.wait(WAIT_S)
            self.assertFalse(self.window_exists(host, HIDDEN_CLASS))
            self.assertEqual([], self.running_pids(host, PROGRAM_IMAGE))
            self.wait_trace(host, r"  CServer: Failed to listen on TCP port 4001 \(10048\)$")
            # It ended before its first broadcast: nothing reached its own listener.
            self.assertIsNone(self.find_trace(host, r"Ear: ReceiveFrom"))
        finally:
            holder.kill()
            holder.wait()

    def test_hand_made_datagrams_are_handled_and_answered_byte_for_byte(self):
        a, b, _ = self.hosts
        self.start_all([a])
        marker = "%s.200" % self.lan.subnet
        b.run(["ip", "addr", "add", marker + "/32", "dev", "eth0"], check=True)
        self.addCleanup(b.run, ["ip", "addr", "del", marker + "/32", "dev", "eth0"])
        cases = ["empty", "long", "badsig", "badcmd", "noterm", "header0", "header16", "leave",
                 "query:PROBE", "answer:OTHERNAME", "leave"]
        result = subprocess.run(["ip", "netns", "exec", b.netns, sys.executable, WHOTOOL, "--target", a.address,
                                 "--marker-address", marker] + cases,
                                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
        self.assertEqual(0, result.returncode, result.stderr)
        report = json.loads(result.stdout)
        ports = [entry["port"] for entry in report["sent"]]
        self.assertEqual(len(cases), len(set(ports)), "each case from a port of its own")

        # What a's listener made of them, line by line (its own start-up lines come before).
        def received(port, size):
            return "Ear: ReceiveFrom IP: %s Port: %d;  res=%d; err=0;" % (b.address, port, size)
        expected = [
            received(ports[0], 0), "Ear: Invalid command",
            "Ear: ReceiveFrom IP: 0.0.0.0 Port: 0;  res=-1; err=10040;", "Ear: ReceiveFrom failed with 10040",
            received(ports[2], 56), "Ear: Invalid message signature",
            received(ports[3], 56), "Ear: Invalid command",
            received(ports[4], 56), "Ear: Provided nickname IsBadStringPtr", "Ear: No usable nickname, host not added",
            received(ports[5], 24), "Ear: No usable nickname, host not added",
            received(ports[6], 24), "Hosts: AddHost []",
            received(ports[7], 56), "Ear: Host [] left",
            received(ports[8], 56), "Hosts: AddHost [PROBE]",
            # Already listed under PROBE: the answer's other name changes nothing.
            received(ports[9], 56),
            received(ports[10], 56), "Ear: Host [PROBE] left",
            "Ear: ReceiveFrom IP: %s Port: " % marker,
        ]
        self.wait_trace(a, r"  Ear: ReceiveFrom IP: %s " % re.escape(marker))
        lines = [line.split("  ", 1)[1] for line in a.trace.lines()]
        first = lines.index(expected[0])
        seen = [line for line in lines[first:] if line.startswith(("Ear:", "Hosts:"))][:len(expected)]
        self.assertEqual(expected[:-1], seen[:-1])
        self.assertTrue(seen[-1].startswith(expected[-1]), seen[-1])

        # Answered: the four queries among the cases (noterm, header0, header16, PROBE), each
        # to b at the UDP port whatever port it came from, and the last query. Each is a
        # cmd_WhoAnswer with a's name, from a's answer socket (not its UDP port).
        self.assertEqual(4, len(report["answers"]), report)
        answers = report["answers"] + [report["marker"]]
        sequences = []
        for answer in answers:
            signature, command, error, length, checksum, sequence, nick = who_fields(answer["hex"])
            self.assertEqual(56, len(bytes.fromhex(answer["hex"])))
            self.assertEqual((SIGNATURE, 1, 0, 16, 0), (signature, command, error, length, checksum))
            self.assertEqual(a.computer_name + "\0" * (16 - len(a.computer_name)), nick)
            self.assertNotEqual(4000, answer["port"])
            self.assertEqual(answers[0]["port"], answer["port"])
            sequences.append(sequence)
        self.assertEqual(sorted(set(sequences)), sequences, "fresh, rising sequence numbers")
        for answer in report["answers"]:
            self.assertEqual(a.address, answer["address"])
        self.assertIsNone(self.find_trace(a, r"Ear: SendTo failed"))


# Listens on TCP 4001 inside a host (another program that has the port) until killed.
_HOLD_TCP_PORT = """
import signal, socket
s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
s.bind(("", 4001))
s.listen(1)
print("holding", flush=True)
signal.pause()
"""


if __name__ == "__main__":
    unittest.main()
