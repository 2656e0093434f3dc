"""The client side of pelko.exe against a stand-in server (fakeserver.py): every way a request
can end reaches the user as its exact message; a slow peer that keeps making progress is never
timed out; a cancelled paste ends, also when it is cancelled in its last percent, and the next one
starts uncancelled."""

import os
import re
import subprocess
import sys
import threading

from lantest import SETTINGS_KEY, LanTestCase, add_host

HERE = os.path.dirname(os.path.abspath(__file__))
FAKE = os.path.join(HERE, "fakeserver.py")
PROGRESS_CLASS = "Pelko Progress Window Class"
FORMAT = "Pelko Fake Data"
NETWORK = "Connection failed due to network error.\n"
CORRUPT = "Connection failed due to receiving corrupted data from the remote computer."
RENDER = "The remote computer failed to render clipboard data in the requested format."

# (server mode or None for nothing listening, stage that fails, message shown; None: success).
# Every reply shape, its header cut every way, is fed to the reply machine natively (MachinesTest);
# here each way a request can end reaches the user once.
CASES = [
    (None, "info", "The remote computer is not answering."),
    ("empty", "info", "The remote clipboard is empty."),
    ("error:1:4", "info", "The remote computer has requested for clipboard contents from another computer.\n"
                          "Please retry later."),
    ("error:2:4", "info", "The remote host has rejected your request."),
    ("silent", "info", "Connection failed due to timeout."),
    ("error:4:6", "data", RENDER),
    ("error:7:6", "data", "The remote computer reported some general error."),
    ("badsum", "data", CORRUPT),
    ("reset", "data", NETWORK),
    ("huge", "data", "Pelko failed to perform the requested operation due to internal error.\n"),
    ("slow", "data", None),
]


class ClientTest(LanTestCase):
    HOSTS = 2

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls._lan.hosts[1].reg_add(SETTINGS_KEY, "ShowFriendsOnly", "REG_DWORD", 0)

    def setUp(self):
        super().setUp()
        self.fake, self.host = self.hosts
        self.start_and_wait(self.host)
        self.server = None
        self.addCleanup(self.start_server, None)

    def start_server(self, mode):
        """Runs the stand-in server in the given mode (None: nothing listens)."""
        if self.server is not None:
            self.server.kill()
            self.server.communicate()   # waits, and closes its pipe
            self.server = None
        if mode is not None:
            self.server = self.fake.popen([sys.executable, FAKE, "--announce-to", self.host.address, mode],
                                          subprocess.PIPE, subprocess.DEVNULL)
            self.assertEqual(b"LISTENING", self.server.stdout.readline().strip())

    def paste_in_background(self):
        result = {}
        thread = threading.Thread(target=lambda: result.update(
            r=self.host.driver("pastecheck", FORMAT, "--timeout", 60000, timeout=120)))
        thread.start()
        return thread, result

    def test_every_outcome_reaches_the_user_as_its_message(self):
        self.start_server("ok")   # lists the stand-in in the host table
        self.wait_trace(self.host, add_host("FAKEHOST"))
        for mode, stage, text in CASES:
            with self.subTest(mode=mode):
                self.start_server(mode)
                if stage == "info":
                    mark = len(self.host.trace.lines())
                    self.host.driver_ok("tray", "down", "return")
                    self.assertIn(text, self.message(self.host))
                    self.wait_trace(self.host, r"GetRemoteClipInfo: $", start=mark)
                    continue
                self.take(self.host, ["down"])
                thread, result = self.paste_in_background()
                if text is not None:
                    shown = self.message(self.host)
                    self.assertIn(text, shown)
                    if text == NETWORK:   # the system's own words on the second line
                        self.assertRegex(shown, re.escape(NETWORK) + r"\S")
                thread.join(120)
                self.assertEqual(text is None, result["r"].ok, result["r"])

    def test_cancel_ends_a_paste_and_the_next_one_starts_uncancelled(self):
        self.start_server("big")
        self.wait_trace(self.host, add_host("FAKEHOST"))
        self.take(self.host, ["down"])
        thread, result = self.paste_in_background()
        self.wait_window(self.host, PROGRESS_CLASS, visible=True)
        self.shoot(self.host, "progress", PROGRESS_CLASS, idle=False)   # the main thread waits for the data
        self.host.driver_ok("press", "--class", PROGRESS_CLASS, 4)
        self.assertIn("The data transfer has been cancelled by user.", self.message(self.host))
        thread.join(120)
        self.assertFalse(result["r"].ok)
        # Cancelled in the last percent, once 99 % have been reported: the rest is held until then.
        last = os.path.join(self.fake.dir, "last-bytes")
        self.start_server("last:" + last)
        self.take(self.host, ["down"])
        mark = len(self.host.trace.lines())
        thread, result = self.paste_in_background()
        self.wait_trace(self.host, r"CTalker::ReadBuffer rcv \d+ :  5960 of 6000$", start=mark)
        self.host.driver_ok("press", "--class", PROGRESS_CLASS, 4)
        open(last, "w").close()
        self.assertIn("The data transfer has been cancelled by user.", self.message(self.host))
        thread.join(120)
        self.assertFalse(result["r"].ok)
        self.start_server("ok")   # 6000 bytes: the window opens again, and nothing cancels it
        self.take(self.host, ["down"])
        mark = len(self.host.trace.lines())
        self.assertEqual(["%s\t6000" % FORMAT], [l.rsplit("\t", 2)[0] for l in
                                                  self.host.driver_ok("pastecheck", FORMAT).lines()])
        self.wait_trace(self.host, r"  Init Progress$", start=mark)
