"""How the harness turns Wine's debug output back into the program's trace lines."""

import os
import tempfile
import unittest

from lanhosts import TraceLog, decode_trace_line, LanError


class DecodeTest(unittest.TestCase):
    def test_a_trace_line_loses_prefix_quotes_and_line_end(self):
        self.assertEqual("#00000042  Hosts: AddHost [HOSTB]",
                         decode_trace_line('0024:warn:seh:dispatch_exception "#00000042  Hosts: AddHost [HOSTB]\\r\\n"'))

    def test_escapes_come_back_as_characters(self):
        self.assertEqual('#00000001  a "b" \\ c\td\né',
                         decode_trace_line('0031:warn:seh:dispatch_exception "#00000001  a \\"b\\" \\\\ c\\td\\n\\xe9\\r\\n"'))

    def test_a_cut_line_is_marked(self):
        self.assertEqual("#00000002  long...", decode_trace_line('0024:warn:seh:dispatch_exception "#00000002  long"...'))

    def test_other_lines_are_not_trace_lines(self):
        for line in ['0024:warn:seh:OutputDebugStringA "#00000000  x\\r\\n"',
                     "0024:err:ole:CoGetClassObject class not registered",
                     "wine: configuration updated",
                     ""]:
            self.assertIsNone(decode_trace_line(line), line)


class TraceLogTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pelko-trace-test-")

    def tearDown(self):
        for name in os.listdir(self.dir):
            os.unlink(os.path.join(self.dir, name))
        os.rmdir(self.dir)

    def test_lines_of_all_sources_in_order_and_in_the_file(self):
        first, second = os.path.join(self.dir, "1.err"), os.path.join(self.dir, "2.err")
        log = TraceLog(os.path.join(self.dir, "trace.txt"))
        log.add_source(first)
        log.add_source(second)
        with open(first, "w") as f:
            f.write('0024:warn:seh:dispatch_exception "#00000000  one\\r\\n"\n')
            f.write('0024:warn:seh:dispatch_exception "#00000001  tw')   # not a whole line yet
        self.assertEqual(["#00000000  one"], log.lines())
        with open(first, "a") as f:
            f.write('o\\r\\n"\n')
        with open(second, "w") as f:
            f.write('0040:warn:seh:dispatch_exception "#00000000  other\\r\\n"\n')
        self.assertEqual((1, "#00000001  two"), log.wait_for(r"two$", timeout=1))
        self.assertEqual(2, log.find("other"))
        with open(log.path) as f:
            self.assertEqual("#00000000  one\n#00000001  two\n#00000000  other\n", f.read())
        with self.assertRaises(LanError):
            log.wait_for("never", timeout=0.2)


if __name__ == "__main__":
    unittest.main()
