"""The main job between three real pelko.exe hosts: HOSTB takes HOSTA's clipboard from its tray
menu and pastes it. Only the format list crosses when the clipboard is taken; each paste fetches
exactly its format, byte for byte. A clipboard borrowed and not yet fetched is not served to a third
host, and a take that fails leaves the pastes to the host whose formats were placed. First, a short
network attack on HOSTA from HOSTC (scripts/lanplay/netattack.py), after which HOSTA serves on."""

from lantest import WAIT_S, LanTestCase, play
import netattack  # the attack of scripts/fuzz-net.sh, beside the harness

# A 2 x 1 24-bit bitmap: BITMAPINFOHEADER then one padded row of two pixels.
DIB_HEX = "28000000020000000100000001001800000000000800000000000000000000000000000000000000" "0000ff00ff000000"
BUSY_TEXT = "The remote computer has requested for clipboard contents from another computer.\nPlease retry later."


class TransferTest(LanTestCase):
    HOSTS, SHOW_ALL_HOSTS = 3, True

    def setUp(self):
        super().setUp()
        self.start_and_wait(*self.hosts)
        self.lan.wait_all_listed(WAIT_S, self.marks)

    def take_from(self, host, source):
        """Chooses source in host's tray menu, which lists the host table's last host first."""
        play.take(host, ["down"] * (host.listed(self.marks[host.name])[::-1].index(source.computer_name) + 1))

    def served(self, host):   # the requests it served during this test
        requests = ("  DataSock cmd_GetInfo", "  DataSock cmd_GetData")
        return [l[-11:] for l in host.trace.lines()[self.marks[host.name]:] if l.endswith(requests)]

    def formats(self, host):
        return {l.split("\t")[1] for l in host.driver_ok("formats").lines()}

    def test_taken_clipboard_is_promised_and_each_paste_fetches_its_format(self):
        a, b, c = self.hosts
        a.driver_ok("fillclip", "--text", "before", "--format", netattack.BLOCK_FORMAT, netattack.BLOCK_SIZE)
        before = netattack.objects(a)
        counts = netattack.attack(c, a, seed=11, tcp=2500, udp=5000, idle=150, limit=40, check_text="before")
        self.assertEqual([], netattack.problems(counts, before, netattack.settled(a, before), 8192), counts)
        self.assertGreater(counts.get("idle-closed-by-host", 0), 0, counts)   # beyond the bound
        self.marks[a.name] = a.trace.refresh()

        a.driver_ok("setclip", "--text", "Grüße aus A", "--format", "CF_DIB", DIB_HEX, "--format", "Preferred DropEffect", "05000000")
        self.take_from(b, a)
        self.assertEqual(self.formats(a) - {"Preferred DropEffect", "Ole Private Data", "DataObject"}, self.formats(b))
        self.assertEqual(["cmd_GetInfo"], self.served(a))
        self.assertEqual(["Grüße aus A"], b.driver_ok("getclip", "CF_UNICODETEXT").lines())
        self.assertEqual([DIB_HEX], b.driver_ok("getclip", "CF_DIB", "--hex").lines())
        self.assertEqual(["cmd_GetInfo"] + ["cmd_GetData"] * 2, self.served(a))

        # A large private format arrives whole and checked, through the progress window.
        a.driver_ok("fillclip", "--format", "Pelko Test Block", 50 << 20)
        self.take_from(b, a)
        checked = b.driver_ok("pastecheck", "Pelko Test Block", timeout=300).stdout.strip().split("\t")
        self.assertEqual([str(50 << 20), "ok"], checked[1::2])   # its size and verdict
        self.wait_trace(b, r"  Init Progress$")

    def test_file_list_arrives_with_network_paths_and_its_companions(self):
        a, b, _ = self.hosts
        a.driver_ok("setclip", "--files", "C:\\Pelko\\pelko.exe")
        self.take_from(b, a)
        # A list without text is fetched at once, when it is placed (the viewer asks for it).
        path, = b.driver_ok("getclip", "CF_HDROP").lines()
        self.assertRegex(path, r"^\\\\%s\\.*pelko\.exe$" % a.computer_name)
        # Its text form came with it (the shell's item list only where the path can be parsed,
        # which a path of another computer under Wine cannot).
        self.assertEqual([path, ""], b.driver_ok("getclip", "CF_UNICODETEXT").lines())
        self.assertEqual(["cmd_GetInfo", "cmd_GetData"], self.served(a))

    def test_a_borrowed_clipboard_is_not_served_to_a_third_host(self):
        a, b, c = self.hosts
        a.driver_ok("setclip", "--text", "one", "--format", "CF_DIB", DIB_HEX)
        self.take_from(b, a)                   # b now holds a's formats, not all fetched
        self.take_from(c, a)
        self.take_from(c, b)
        self.assertIn(BUSY_TEXT, self.message(c))
        # That failed take placed nothing: c's pastes still come from a, whose formats it holds.
        self.assertEqual([DIB_HEX], c.driver_ok("getclip", "CF_DIB", "--hex").lines())
        self.assertEqual(["one"], b.driver_ok("getclip", "CF_UNICODETEXT").lines())
        b.driver_ok("setclip", "--text", "two")   # b's user copies: the borrowed clipboard is gone
        self.take_from(c, b)
        self.assertEqual(["two"], c.driver_ok("getclip", "CF_UNICODETEXT").lines())
