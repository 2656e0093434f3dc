"""Runs the LAN tests (test_*.py beside this file, or the names given) one class after the other,
prints one line per test and a last line "N passed, N failed"; exit code 1 if any failed.
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
    def startTest(self, test):
        super().startTest(test)
        self.started = time.monotonic()

    def line(self, word, test, detail=""):
        print("%-5s %s (%.1f s)%s" % (word, test.id().split(".", 1)[-1], time.monotonic() - self.started, detail),
              flush=True)

    def addSuccess(self, test):
        super().addSuccess(test)
        self.line("PASS", test)

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self.line("FAIL", test, "\n" + self._exc_info_to_string(err, test))

    def addError(self, test, err):
        super().addError(test, err)
        self.started = getattr(self, "started", time.monotonic())   # also errors of a class set-up
        self.line("ERROR", test, "\n" + self._exc_info_to_string(err, test))

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            self.line("FAIL", subtest, "\n" + self._exc_info_to_string(err, test))


def _stop(signum, frame):
    # The first signal interrupts; later ones must not cut the tear-down short.
    for other in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(other, signal.SIG_IGN)
    raise KeyboardInterrupt("signal %d" % signum)


def main(names):
    for signum in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(signum, _stop)
    lanhosts.remove_stale_runs()
    lanhosts.prepare_template()
    loader = unittest.TestLoader()
    suite = loader.loadTestsFromNames(names) if names else loader.discover(HERE, "test_*.py", top_level_dir=HERE)
    result, started = LineResult(), time.monotonic()
    try:
        suite.run(result)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
        result.errors.append((None, "interrupted"))
    finally:
        lanhosts.close_all()   # an interrupt skips the tests' own clean-ups
    failed = len(result.failures) + len(result.errors)
    print("LAN tests took %.0f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    return 1 if failed or result.testsRun == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
