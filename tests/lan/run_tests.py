"""Runs the LAN tests (test_*.py beside this file, or the names given) one after the other,
prints one line per test and a last line "N passed, N failed". Exit code 1 if any failed.
An interrupt or SIGTERM still tears every LAN down (the tests' clean-ups and lanhosts' exit hook)."""

import os
import signal
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import lanhosts  # noqa: E402


class LineResult(unittest.TestResult):
    def __init__(self):
        super().__init__()
        self.passed = 0
        self._started = 0.0

    def startTest(self, test):
        super().startTest(test)
        self._started = time.monotonic()

    def _line(self, word, test, detail=""):
        name = test.id().split(".", 1)[-1] if hasattr(test, "id") else str(test)
        print("%-5s %s (%.1f s)%s" % (word, name, time.monotonic() - self._started, detail), flush=True)

    def addSuccess(self, test):
        super().addSuccess(test)
        self.passed += 1
        self._line("PASS", test)

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._line("FAIL", test, "\n" + self._exc_info_to_string(err, test))

    def addError(self, test, err):
        super().addError(test, err)
        self._line("ERROR", test, "\n" + self._exc_info_to_string(err, test))

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self._line("SKIP", test, ": " + reason)

    def addUnexpectedSuccess(self, test):
        super().addUnexpectedSuccess(test)
        self._line("FAIL", test, ": passed although marked as expected to fail")

    def addExpectedFailure(self, test, err):
        super().addExpectedFailure(test, err)
        self.passed += 1
        self._line("PASS", test, " (expected failure)")


def main(argv):
    def stop(signum, frame):
        raise KeyboardInterrupt("signal %d" % signum)
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGHUP, stop)

    lanhosts.remove_stale_namespaces()
    lanhosts.prepare_template()
    loader = unittest.TestLoader()
    if argv:
        suite = loader.loadTestsFromNames(argv)
    else:
        suite = loader.discover(HERE, pattern="test_*.py", top_level_dir=HERE)
    result = LineResult()
    started = time.monotonic()
    try:
        suite.run(result)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
        result.errors.append((None, "interrupted"))
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    if result.skipped:
        print("%d skipped" % len(result.skipped))
    print("LAN tests took %.0f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (result.passed, failed))
    return 1 if failed or result.testsRun == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
