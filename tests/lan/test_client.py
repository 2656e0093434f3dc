"""The client side of pelko.exe against a stand-in server (tests/lan/fakeserver.py, the protocol
in its own bytes): every way a request can end reaches the user as its exact message, after the
format list or after a paste; a slow peer that keeps making progress is never timed out; the
user's cancel in the progress window ends a paste, and the next one starts uncancelled. One LAN
of two hosts and one running program serve every case."""

import os
import re
import subprocess
import sys
import threading
import unittest

from lantest import DIALOG_CLASS, USING_STANDIN, LanTestCase

HERE = os.path.dirname(os.path.abspath(__file__))
FAKE = os.path.join(HERE, "fakeserver.py")
PROGRESS_CLASS = "Pelko Progress Window Class"
FORMAT = "Pelko Fake Data"
NETWORK = "Connection failed due to network error.\n"
CORRUPT = "Connection failed due to receiving corrupted data from the remote computer."
RENDER = "The remote computer failed to render clipboard data in the requested format."

# (server mode or None for nothing listening, stage that fails, message shown; None: success)
CASES = [
    (None, "info", "The remote computer is not answering."),
    ("empty", "info", "The remote clipboard is empty."),
    ("error:1:4", "info", "The remote computer has requested for clipboard contents from another computer.\n"
                          "Please retry later."),
    ("error:2:4", "info", "The remote host has rejected your request."),
    ("error:3:4", "info", "The remote computer failed to specify available clipboard data formats."),
    ("badseq", "info", CORRUPT),
    ("silent", "info", "Connection failed due to timeout."),
    ("error:4:6", "data", RENDER),
    ("error:5:6", "data", "The remote computer reported communication problem."),
    ("error:6:6", "data", RENDER),
    ("error:7:6", "data", "The remote computer reported some general error."),
    ("error:9:6", "data", "The remote computer reported some general error."),
    ("badsum", "data", CORRUPT),
    ("reset", "data", NETWORK),
    ("slow", "data", None),
]


@unittest.skipIf(USING_STANDIN, "the client is the real program's")
class ClientTest(LanTestCase):
    HOSTS = 2
    SHARE_LAN = True

    def setUp(self):
        super().setUp()
        self.fake, self.host = self.hosts
        self.host.reg_add(r"HKLM\Software\Pelko", "ShowFriendsOnly", "REG_DWORD", 0)
        self.start_program_and_wait(self.host)
        self.server = None

    def tearDown(self):
        self.stop_server()
        super().tearDown()

    def start_server(self, mode):
        self.stop_server()
        if mode is None:
            return
        self.server = self.fake.popen([sys.executable, FAKE, "--announce-to", self.host.address, mode],
                                      subprocess.PIPE, subprocess.DEVNULL)
        self.assertEqual(b"LISTENING", self.server.stdout.readline().strip())

    def stop_server(self):
        if self.server is not None:
            self.server.kill()
            self.server.wait()
            self.server = None

    def take(self):
        mark = len(self.host.trace.lines())
        self.host.driver_ok("tray", "down", "return")
        self.host.trace.wait_for(r"GetRemoteClipInfo: ", timeout=60, start=mark)

    def message(self):
        self.wait_window(self.host, DIALOG_CLASS, visible=True)
        shown = self.host.driver_ok("dialog", "--class", DIALOG_CLASS).stdout.replace("\r\n", "\n")
        self.host.driver_ok("press", "--class", DIALOG_CLASS, 1)
        return shown

    def paste_in_background(self):
        result = {}
        thread = threading.Thread(target=lambda: result.update(
            r=self.host.driver("pastecheck", FORMAT, "--timeout", 60000, timeout=120)))
        thread.start()
        return thread, result

    def test_every_outcome_reaches_the_user_as_its_message(self):
        self.start_server("ok")   # lists the stand-in in the host table
        self.wait_trace(self.host, r"  Hosts: AddHost \[FAKEHOST\]$")
        for mode, stage, text in CASES:
            with self.subTest(mode=mode):
                self.start_server(mode)
                if stage == "info":
                    self.take_failing(text)
                    continue
                self.take()
                thread, result = self.paste_in_background()
                if text is not None:
                    shown = self.message()
                    self.assertIn(text, shown)
                    if text == NETWORK:   # the system's own words on the second line
                        self.assertRegex(shown, re.escape(NETWORK) + r"\S")
                thread.join(120)
                self.assertEqual(text is None, result["r"].ok, result["r"])

    def take_failing(self, text):
        mark = len(self.host.trace.lines())
        self.host.driver_ok("tray", "down", "return")
        self.assertIn(text, self.message())
        self.host.trace.wait_for(r"GetRemoteClipInfo: $", timeout=60, start=mark)

    def test_cancel_ends_a_paste_and_the_next_one_starts_uncancelled(self):
        self.start_server("big")
        self.wait_trace(self.host, r"  Hosts: AddHost \[FAKEHOST\]$")
        self.take()
        thread, result = self.paste_in_background()
        self.wait_window(self.host, PROGRESS_CLASS, visible=True)
        self.host.driver_ok("press", "--class", PROGRESS_CLASS, 4)
        self.assertIn("The data transfer has been cancelled by user.", self.message())
        thread.join(120)
        self.assertFalse(result["r"].ok)
        self.start_server("ok")   # 6000 bytes: the window opens again, and nothing cancels it
        self.take()
        mark = len(self.host.trace.lines())
        self.assertEqual(["%s\t6000" % FORMAT], [l.rsplit("\t", 2)[0] for l in
                                                  self.host.driver_ok("pastecheck", FORMAT).lines()])
        self.host.trace.wait_for(r"  Init Progress$", start=mark)
