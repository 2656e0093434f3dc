"""Discovery between three real pelko.exe hosts on one private network: running hosts find each
other (each start's query is answered by every host) and list each other in their tray menus, the
last to arrive first; a host that exits says goodbye and the others drop it; started again, it is
found anew."""

import re

from lantest import WAIT_S, LanTestCase, play


class DiscoveryTest(LanTestCase):
    HOSTS, SHOW_ALL_HOSTS = 3, True

    def take(self, host, keys, source):
        """Chooses the host at keys in the tray menu: source is the host asked."""
        source.driver_ok("setclip", "--text", "from " + source.computer_name)
        mark = source.trace.refresh()
        play.take(host, keys)
        self.wait_trace(source, r"  Server: Connection accepted from IP: %s$" % re.escape(host.address), start=mark)

    def test_hosts_find_each_other_list_each_other_and_drop_one_that_exits(self):
        a, b, c = self.hosts
        programs = self.start_and_wait(*self.hosts)
        self.lan.wait_all_listed(WAIT_S, self.marks)
        for host in self.hosts:   # each once, and never itself
            others = sorted(o.computer_name for o in self.hosts if o is not host)
            self.assertEqual(others, sorted(host.listed(self.marks[host.name])))
        first, last = [h for name in a.listed(self.marks[a.name]) for h in (b, c) if h.computer_name == name]
        self.take(a, ["down"], last)
        self.take(a, ["down", "down"], first)

        c.driver_ok("tray", "up", "return")   # Exit
        self.assertEqual(0, programs[2].wait(WAIT_S))
        for host in (a, b):
            self.wait_trace(host, r"  Ear: Host \[%s\] left$" % c.computer_name)
        self.take(a, ["down"], b)   # the item below it is "Lock", which is not a host

        marks = {h.name: h.trace.refresh() for h in self.hosts}
        c.start_program()
        for host, other in ((a, c), (b, c), (c, a), (c, b)):
            self.wait_trace(host, r"  Hosts: AddHost \[%s\]$" % other.computer_name, start=marks[host.name])
