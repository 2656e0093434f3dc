"""Runs the LAN tests (test_*.py beside this file, or the names given), whole test classes spread
over PELKO_LAN_JOBS worker processes (2 by default; --jobs N), prints one line per test and a last
line "N passed, N failed". Exit code 1 if any failed.
An interrupt or SIGTERM still tears every LAN down (the tests' clean-ups and lanhosts' exit hook)."""

import os
import signal
import subprocess
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import lanhosts  # noqa: E402

TALLY = "@@tally"


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


def run_worker(names):
    """Runs the named tests in this process; prints a line per test and the tally."""
    suite = unittest.TestLoader().loadTestsFromNames(names)
    result = LineResult()
    try:
        suite.run(result)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
        result.errors.append((None, "interrupted"))
    finally:
        # An interrupt skips the tests' own clean-ups: close what is still open.
        lanhosts.close_all()
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    print("%s %d %d %d" % (TALLY, result.passed, failed, len(result.skipped)), flush=True)
    return 1 if failed else 0


def test_classes(names):
    """The tests to run, grouped by class (a class may share one LAN among its tests)."""
    loader = unittest.TestLoader()
    suite = loader.loadTestsFromNames(names) if names else \
        loader.discover(HERE, pattern="test_*.py", top_level_dir=HERE)
    classes = {}

    def walk(item):
        if isinstance(item, unittest.TestSuite):
            for child in item:
                walk(child)
        elif isinstance(item, unittest.TestCase):
            classes.setdefault(item.id().rsplit(".", 1)[0], []).append(item.id())
        else:
            raise SystemExit("cannot load tests: %r" % item)
    walk(suite)
    return list(classes.values())


def _stop(signum, frame):
    # The first signal interrupts; later ones (timeout signals the whole process group, and the
    # runner passes it on to its workers) must not cut the tear-down short.
    for other in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(other, signal.SIG_IGN)
    raise KeyboardInterrupt("signal %d" % signum)


def main(argv):
    for signum in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(signum, _stop)

    if argv[:1] == ["--worker"]:
        return run_worker(argv[1:])
    jobs = int(os.environ.get("PELKO_LAN_JOBS", "2"))
    if argv[:1] == ["--jobs"]:
        jobs, argv = int(argv[1]), argv[2:]

    lanhosts.remove_stale_runs()
    lanhosts.prepare_template()
    groups = sorted(test_classes(argv), key=len, reverse=True)
    # Whole classes to workers, the largest first to the least loaded: hosts of different
    # workers start and run side by side (their names, addresses and displays never meet).
    shares = [[] for _ in range(max(1, min(jobs, len(groups))))]
    for group in groups:
        min(shares, key=len).extend(group)
    started = time.monotonic()
    workers = [subprocess.Popen([sys.executable, os.path.abspath(__file__), "--worker"] + share,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
               for share in shares if share]
    tallies = []

    def forward(worker):
        for line in worker.stdout:
            if line.startswith(TALLY):
                tallies.append([int(n) for n in line.split()[1:]])
            else:
                sys.stdout.write(line)
                sys.stdout.flush()

    readers = [threading.Thread(target=forward, args=(w,)) for w in workers]
    for reader in readers:
        reader.start()
    try:
        for worker in workers:
            worker.wait()
    except KeyboardInterrupt:
        print("interrupted: ending the workers", flush=True)
        for worker in workers:
            if worker.poll() is None:
                worker.send_signal(signal.SIGTERM)
        for worker in workers:
            worker.wait()
    for reader in readers:
        reader.join()
    # Whatever a worker that was killed could not tear down.
    lanhosts.remove_stale_runs()
    passed = sum(t[0] for t in tallies)
    failed = sum(t[1] for t in tallies) + (len(workers) - len(tallies))   # a worker that died counts
    skipped = sum(t[2] for t in tallies)
    if skipped:
        print("%d skipped" % skipped)
    print("LAN tests took %.0f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed or passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
