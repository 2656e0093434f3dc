"""A LAN of sandboxed Wine hosts for Pelko's multi-host tests (Python standard library only).

    with Lan(2) as lan:                      # hosts start in parallel
        a, b = lan.hosts
        a.reg_add(r"HKLM\\Software\\Pelko", "TCPPort", "REG_DWORD", "4001")   # before the start
        program = a.start_program()          # pelko.exe from build/windows, traced
        a.trace.wait_for(r"^#00000000  ")    # decoded trace lines, whole and in order
        a.driver_ok("wait", "--class", "Pelko Hidden Window Class")
        a.screenshot("/tmp/a.png")

Every host has its own network namespace (lo and eth0, an address in one private /24 that exists
only inside, a default route over eth0 so that 255.255.255.255 broadcasts leave), joined to the
others by a bridge that lives in a namespace of its own; its own UTS and mount namespaces (host
name, /etc/hosts and /etc/resolv.conf with nameserver 127.0.0.1); its own Wine prefix, copied
from a template prepared once by scripts/wine-prefix.sh; its own Xvfb, on a display number free
machine-wide; and its own wineserver, started inside its namespaces before any other Wine process
of the prefix (Wine's sockets belong to the server's namespace). No Wine process ever runs in the
machine's own namespaces.

Names carry the harness's process id, so parallel runs do not clash; namespaces and folders left
behind by a run that was killed outright are removed by remove_stale_runs() (only those whose
process is gone).
Everything is torn down by close(), also when a test fails or the run is interrupted.
"""

import atexit
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
BUILD = os.path.join(ROOT, "build", "windows")
PELKO_EXE = os.path.join(BUILD, "pelko.exe")
PELKO_BESIDE = [os.path.join(BUILD, "ReadyToTransfer.wav")]   # files that travel with pelko.exe
DRIVER_EXE = os.path.join(BUILD, "tests", "tools", "driver", "pelkodrv.exe")
STANDIN_EXE = os.path.join(BUILD, "tests", "lan", "pelko_standin.exe")
TEMPLATE_PREFIX = os.path.join(ROOT, "build", "wineprefix")
NS_PREFIX = "pelkolan"
PROGRAM_WINEDEBUG = "-all,warn+seh"

# The program's own folder inside each host's prefix: C:\Pelko.
PROGRAM_DIR_WIN = "C:\\Pelko"

_SETUP_TIMEOUT = 120
_display_lock = threading.Lock()
_live_lans = []


class LanError(Exception):
    """A step of setting up, driving or tearing down the LAN failed."""


def _run(argv, timeout=60, check=True, **kwargs):
    result = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=timeout, text=True, **kwargs)
    if check and result.returncode != 0:
        raise LanError("%s failed (%d): %s" % (" ".join(argv), result.returncode, result.stderr.strip()))
    return result


def prepare_template():
    """Prepares the template prefix unless it already is (once per test run at most)."""
    _run([os.path.join(ROOT, "scripts", "wine-prefix.sh"), TEMPLATE_PREFIX], timeout=300)


def remove_stale_runs():
    """Removes what earlier runs left when they were killed outright: namespaces (with the
    processes inside) and temporary folders whose harness process no longer exists."""
    listing = _run(["ip", "netns", "list"], check=False).stdout
    for line in listing.splitlines():
        name = line.split()[0] if line.split() else ""
        match = re.match(r"^%s(\d+)-" % NS_PREFIX, name)
        if not match or _process_alive(int(match.group(1))):
            continue
        _kill_namespace_processes(name)
        _run(["ip", "netns", "del", name], check=False)
    temp = tempfile.gettempdir()
    for name in os.listdir(temp):
        match = re.match(r"^pelko-lan-(\d+)-", name)
        if match and not _process_alive(int(match.group(1))):
            shutil.rmtree(os.path.join(temp, name), ignore_errors=True)


def _process_alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def _kill_namespace_processes(netns):
    """Ends every process inside one of our namespaces, by its id: asked first (Xvfb then removes
    its lock file and socket), then forced."""
    for attempt in range(60):
        pids = [int(p) for p in _run(["ip", "netns", "pids", netns], check=False).stdout.split()]
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(pid, signal.SIGTERM if attempt == 0 else signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.5 if attempt == 0 else 0.05)


# Wine's debug channel prints each OutputDebugString line as
#   0024:warn:seh:dispatch_exception "#00000042  text\r\n"
# with C escapes; lines longer than about 290 characters end in "... instead of ".
_TRACE_RE = re.compile(r'^(?:[0-9a-f]+:)*warn:seh:dispatch_exception "(.*)"(\.\.\.)?$')
_ESCAPE_RE = re.compile(r'\\(x[0-9a-fA-F]{2}|u[0-9a-fA-F]{4}|[0-7]{1,3}|.)')
_SIMPLE_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'", "a": "\a", "b": "\b",
                   "f": "\f", "v": "\v", "0": "\0"}


def decode_trace_line(raw):
    """The trace text of one stderr line of a program, or None if the line is not a trace line.
    A cut line (Wine's length limit) keeps what came through and gets "..." appended."""
    match = _TRACE_RE.match(raw.rstrip("\n"))
    if not match:
        return None
    body, cut = match.group(1), match.group(2)

    def unescape(m):
        code = m.group(1)
        if code[0] == "x":
            return bytes([int(code[1:], 16)]).decode("cp1252", errors="replace")
        if code[0] == "u":
            return chr(int(code[1:], 16))
        if code[0] in "01234567" and len(code) > 1:
            return bytes([int(code, 8) & 0xFF]).decode("cp1252", errors="replace")
        return _SIMPLE_ESCAPES.get(code, code)

    text = _ESCAPE_RE.sub(unescape, body)
    if text.endswith("\r\n"):
        text = text[:-2]
    elif text.endswith("\n"):
        text = text[:-1]
    return text + "..." if cut else text


class TraceLog:
    """The decoded trace lines of every program started on one host, in the order they came,
    also written to a file (one line each). Sources are the programs' stderr files."""

    def __init__(self, path):
        self.path = path
        self._sources = []          # [path, offset, partial line]
        self._lines = []
        self._lock = threading.Lock()
        open(self.path, "w").close()

    def add_source(self, stderr_path):
        with self._lock:
            self._sources.append([stderr_path, 0, b""])

    def refresh(self):
        with self._lock:
            new = []
            for source in self._sources:
                path, offset, partial = source
                try:
                    with open(path, "rb") as f:
                        f.seek(offset)
                        data = f.read()
                except FileNotFoundError:
                    continue
                source[1] = offset + len(data)
                data = partial + data
                *complete, source[2] = data.split(b"\n")
                for raw in complete:
                    line = decode_trace_line(raw.decode("utf-8", errors="replace"))
                    if line is not None:
                        new.append(line)
            if new:
                self._lines.extend(new)
                with open(self.path, "a", encoding="utf-8") as f:
                    for line in new:
                        f.write(line + "\n")
            return len(self._lines)

    def lines(self):
        self.refresh()
        with self._lock:
            return list(self._lines)

    def find(self, pattern, start=0):
        """Index of the first line at or after start that matches (re.search), or None."""
        regex = re.compile(pattern)
        for i, line in enumerate(self.lines()[start:], start):
            if regex.search(line):
                return i
        return None

    def wait_for(self, pattern, timeout=30, start=0):
        """Waits until a line at or after start matches; returns (index, line); LanError on time-out."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        checked = start
        while True:
            lines = self.lines()
            for i in range(checked, len(lines)):
                if regex.search(lines[i]):
                    return i, lines[i]
            checked = max(checked, len(lines))
            if time.monotonic() >= deadline:
                tail = "\n".join(lines[-15:])
                raise LanError("no trace line matching %r within %s s; last lines:\n%s" % (pattern, timeout, tail))
            time.sleep(0.05)


class Program:
    """A Windows program running on a host (the `wine` process is the program's own process)."""

    def __init__(self, host, popen, name, stdout_path, stderr_path):
        self.host, self.popen, self.name = host, popen, name
        self.stdout_path, self.stderr_path = stdout_path, stderr_path

    @property
    def pid(self):
        return self.popen.pid

    def running(self):
        return self.popen.poll() is None

    def wait(self, timeout=30):
        """Waits for the program to end and returns its exit code; LanError on time-out."""
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise LanError("%s on %s still runs after %s s" % (self.name, self.host.name, timeout))

    def kill(self):
        """Ends the program at once (as Task Manager would) and waits until it has gone."""
        if self.popen.poll() is None:
            self.popen.kill()
        self.popen.wait(timeout=30)

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()


class DriverResult:
    def __init__(self, argv, returncode, stdout, stderr):
        self.argv, self.returncode, self.stdout, self.stderr = argv, returncode, stdout, stderr

    @property
    def ok(self):
        return self.returncode == 0

    def lines(self):
        return self.stdout.splitlines()

    def fields(self):
        """Output lines "key value..." as a dict (for `info`)."""
        result = {}
        for line in self.lines():
            key, _, value = line.partition(" ")
            result[key] = value
        return result

    def __repr__(self):
        return "pelkodrv %s -> %d\nstdout: %s\nstderr: %s" % (" ".join(self.argv), self.returncode,
                                                           self.stdout, self.stderr)


class Host:
    """One computer of the LAN. Created and started by Lan."""

    def __init__(self, lan, index):
        self.lan = lan
        self.index = index
        self.name = "host" + chr(ord("a") + index)          # the Unix host name
        self.computer_name = self.name.upper()              # what GetComputerNameW gives
        self.address = "%s.%d" % (lan.subnet, 10 + index)
        self.netns = "%s-h%d" % (lan.ns_base, index)
        self.dir = os.path.join(lan.dir, self.name)
        self.prefix = os.path.join(self.dir, "prefix")
        self.program_dir = os.path.join(self.prefix, "drive_c", "Pelko")
        self.display = None
        self.trace = None
        self.programs = []
        self._anchor = None
        self._xvfb = None
        self._hold = None
        self._counter = 0
        self._counter_lock = threading.Lock()

    # --- running things inside the host -------------------------------------------------------

    def env(self, winedebug="-all"):
        env = dict(os.environ)
        for key in list(env):
            if key.startswith("WINE") or key in ("DISPLAY", "XAUTHORITY"):
                del env[key]
        env.update(WINEPREFIX=self.prefix, WINEDEBUG=winedebug, PELKO_SANDBOX="1",
                   PATH=env.get("PATH", "/usr/bin:/bin") + ":/usr/lib/wine")
        if self.display is not None:
            env["DISPLAY"] = ":%d" % self.display
        return env

    def _enter(self, argv, cwd=None):
        """The command line that runs argv inside this host's namespaces."""
        return ["nsenter", "-t", str(self._anchor.pid), "-n", "-u", "-m",
                "--wd=%s" % (cwd or self.dir), "--"] + list(argv)

    def popen(self, argv, stdout, stderr, cwd=None, winedebug="-all", **kwargs):
        return subprocess.Popen(self._enter(argv, cwd), stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                                env=self.env(winedebug), **kwargs)

    def run(self, argv, timeout=60, cwd=None, winedebug="-all", check=False):
        """Runs a command inside the host; output goes through files (Wine helpers may hold
        pipes open) and comes back as text. Returns (returncode, stdout, stderr)."""
        n = self._next()
        out_path = os.path.join(self.dir, "run-%d.out" % n)
        err_path = os.path.join(self.dir, "run-%d.err" % n)
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            process = self.popen(argv, out, err, cwd, winedebug)
            try:
                code = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise LanError("%s on %s took more than %s s" % (" ".join(argv), self.name, timeout))
        with open(out_path, encoding="utf-8", errors="replace") as f:
            stdout = f.read()
        with open(err_path, encoding="utf-8", errors="replace") as f:
            stderr = f.read()
        os.unlink(out_path)
        os.unlink(err_path)
        if check and code != 0:
            raise LanError("%s on %s failed (%d): %s" % (" ".join(argv), self.name, code, stderr.strip()))
        return code, stdout, stderr

    def _next(self):
        with self._counter_lock:
            self._counter += 1
            return self._counter

    # --- the user's view ----------------------------------------------------------------------

    def reg_add(self, key, value, value_type, data):
        """Seeds one registry value in the host's prefix (before the program starts)."""
        self.run(["wine", "reg", "add", key, "/v", value, "/t", value_type, "/d", str(data), "/f"],
                 timeout=60, check=True)

    def install_program(self, exe=PELKO_EXE, beside=None):
        """Copies the program (and the files that sit beside it) to C:\\Pelko; returns its Windows path."""
        os.makedirs(self.program_dir, exist_ok=True)
        files = [exe] + list(PELKO_BESIDE if beside is None and exe == PELKO_EXE else beside or [])
        for path in files:
            if not os.path.exists(path):
                raise LanError("missing %s: build with scripts/build.sh --windows" % path)
            # A copy of the program may be running from this file (a second start): the new file
            # takes the name by a rename, so the running image keeps its own. Copying over it in
            # place would change the pages under the running process (seen: its window
            # procedure's table read back as garbage).
            target = os.path.join(self.program_dir, os.path.basename(path))
            shutil.copy2(path, target + ".new")
            os.replace(target + ".new", target)
        return PROGRAM_DIR_WIN + "\\" + os.path.basename(exe)

    def start_program(self, exe=PELKO_EXE, args=(), beside=None):
        """Starts the program (pelko.exe by default) with WINEDEBUG=-all,warn+seh; its stderr goes
        to a file whose trace lines join the host's trace log."""
        win_path = self.install_program(exe, beside)
        n = self._next()
        base = os.path.splitext(os.path.basename(exe))[0]
        stdout_path = os.path.join(self.dir, "%s-%d.out" % (base, n))
        stderr_path = os.path.join(self.dir, "%s-%d.err" % (base, n))
        self.trace.add_source(stderr_path)
        with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
            popen = self.popen(["wine", win_path] + list(args), out, err, cwd=self.program_dir,
                               winedebug=PROGRAM_WINEDEBUG)
        program = Program(self, popen, os.path.basename(exe), stdout_path, stderr_path)
        self.programs.append(program)
        return program

    def driver(self, *args, timeout=60):
        """Runs pelkodrv.exe with the arguments on this host."""
        code, stdout, stderr = self.run(["wine", DRIVER_EXE] + [str(a) for a in args], timeout=timeout)
        return DriverResult([str(a) for a in args], code, stdout, stderr)

    def driver_ok(self, *args, timeout=60):
        result = self.driver(*args, timeout=timeout)
        if not result.ok:
            raise LanError("on %s: %r" % (self.name, result))
        return result

    def screenshot(self, path):
        """Saves the host's whole display as PNG."""
        path = os.path.abspath(path)
        code, _, stderr = self.run(["sh", "-c", 'xwd -display "$DISPLAY" -root -silent | /usr/bin/convert xwd:- "$0"',
                                    path], timeout=60)
        if code != 0 or not os.path.exists(path):
            raise LanError("screenshot of %s failed: %s" % (self.name, stderr.strip()))
        return path

    # --- life cycle (Lan calls these) ---------------------------------------------------------

    def _start(self):
        os.makedirs(self.dir)
        etc = os.path.join(self.dir, "etc")
        os.makedirs(etc)
        with open(os.path.join(etc, "hosts"), "w") as f:
            # The host's name resolves to its LAN address, as a Windows computer's name does.
            f.write("127.0.0.1\tlocalhost\n%s\t%s\n::1\tlocalhost\n" % (self.address, self.name))
        with open(os.path.join(etc, "resolv.conf"), "w") as f:
            f.write("nameserver 127.0.0.1\n")
        copy = subprocess.Popen(["cp", "-a", TEMPLATE_PREFIX, self.prefix])
        # The anchor holds the host's UTS and mount namespaces; everything else enters them.
        script = ('hostname "$0" && mount --bind "$1/hosts" /etc/hosts && '
                  'mount --bind "$1/resolv.conf" /etc/resolv.conf && echo ready && exec sleep infinity')
        self._anchor = subprocess.Popen(
            ["ip", "netns", "exec", self.netns, "unshare", "--uts", "--mount", "--propagation", "private", "--",
             "sh", "-c", script, self.name, etc],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        if self._anchor.stdout.readline().strip() != "ready":
            raise LanError("the namespaces of %s could not be set up" % self.name)
        self._start_xvfb()
        if copy.wait(timeout=_SETUP_TIMEOUT) != 0:
            raise LanError("copying the template prefix for %s failed" % self.name)
        self.trace = TraceLog(os.path.join(self.dir, "trace.txt"))
        # The server first, inside the namespace; then the session start with its helpers'
        # output sent away, so that later programs' output files and pipes close with them.
        self.run(["wineserver", "-p"], timeout=_SETUP_TIMEOUT, check=True)
        # Wine's background processes (explorer with the desktop and the clipboard manager,
        # services) start here and write to wineboot's files for as long as they live.
        with open(os.path.join(self.dir, "wineboot.out"), "wb") as out, \
                open(os.path.join(self.dir, "wineboot.err"), "wb") as err:
            boot = self.popen(["wineboot"], out, err, winedebug=os.environ.get("PELKO_LAN_WINEDEBUG", "-all"))
            if boot.wait(timeout=_SETUP_TIMEOUT) != 0:
                raise LanError("wineboot failed on %s" % self.name)
        # Wine closes a desktop (and its shell: task bar, tray, clipboard manager) a second after
        # its last program ends; Windows keeps its shell running. A driver "hold" keeps it in use.
        with open(os.path.join(self.dir, "hold.out"), "wb") as out, open(os.path.join(self.dir, "hold.err"), "wb") as err:
            self._hold = self.popen(["wine", DRIVER_EXE, "hold"], out, err)
        self._wait_file_line(os.path.join(self.dir, "hold.out"), "holding", self._hold)

    def _wait_file_line(self, path, text, process, timeout=_SETUP_TIMEOUT):
        """Waits until a process has written the line to its output file."""
        deadline = time.monotonic() + timeout
        while True:
            with open(path, encoding="utf-8", errors="replace") as f:
                if text in f.read().splitlines():
                    return
            if process.poll() is not None or time.monotonic() >= deadline:
                raise LanError("%s did not report %r on %s" % (" ".join(process.args[-2:]), text, self.name))
            time.sleep(0.02)

    def _start_xvfb(self):
        # Display numbers are machine-wide (lock files and sockets live in the shared /tmp).
        # Xvfb takes a number atomically through its lock file (and clears a stale one) and tells
        # on -displayfd when it is ready; a number in use makes it end at once: try the next.
        first = 300 + (os.getpid() * 7 + self.index * 13) % 400
        for n in list(range(first, 700)) + list(range(300, first)):
            read_fd, write_fd = os.pipe()
            with _display_lock, open(os.path.join(self.dir, "xvfb.err"), "ab") as err:
                xvfb = subprocess.Popen(self._enter(["Xvfb", ":%d" % n, "-displayfd", str(write_fd), "-nolisten", "tcp",
                                                     "-screen", "0", "1024x768x24"]),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err,
                                        pass_fds=(write_fd,))
            os.close(write_fd)
            with os.fdopen(read_fd) as reader:
                told = reader.readline().strip()
            if told == str(n):
                self._xvfb, self.display = xvfb, n
                return
            xvfb.kill()
            xvfb.wait()
        raise LanError("no free X display for %s" % self.name)

    def _stop(self):
        """Ends everything of this host; never raises."""
        if self._anchor is not None and self._anchor.poll() is None and os.path.isdir(self.prefix):
            try:
                self.run(["wineserver", "-k"], timeout=15)
                self.run(["wineserver", "-w"], timeout=15)
            except (LanError, OSError):
                pass
        for program in self.programs:
            if program.popen.poll() is None:
                program.popen.kill()
            try:
                program.popen.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        for process in (self._hold, self._xvfb, self._anchor):
            if process is not None and process.poll() is None:
                # Xvfb ends on SIGTERM and removes its lock file and socket from the shared /tmp.
                process.terminate() if process is self._xvfb else process.kill()
            if process is not None:
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    pass
        if self._anchor is not None and self._anchor.stdout:
            self._anchor.stdout.close()
        _kill_namespace_processes(self.netns)
        if self.trace is not None:
            self.trace.refresh()


class Lan:
    """N hosts on one private network. Use as a context manager, or call start() and close()."""

    _sequence = 0

    def __init__(self, count=1, keep_dir=None):
        if os.geteuid() != 0:
            raise LanError("the LAN harness needs root (network namespaces)")
        Lan._sequence += 1
        pid = os.getpid()
        self.ns_base = "%s%d-%d" % (NS_PREFIX, pid, Lan._sequence)
        self.bridge_ns = self.ns_base + "-br"
        # One /24 inside the namespaces only; which one does not matter, it is never routed out.
        self.subnet = "10.213.%d" % (pid % 250 + 1)
        self.count = count
        self.keep_dir = keep_dir
        self.dir = None
        self.hosts = []
        self._namespaces = []
        self._closed = False
        self._stopping = threading.Event()
        self._follower = None

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def start(self):
        _live_lans.append(self)
        if not os.path.isdir(TEMPLATE_PREFIX) or not os.path.exists(os.path.join(TEMPLATE_PREFIX, ".pelko-prepared")):
            prepare_template()
        self.dir = tempfile.mkdtemp(prefix="pelko-lan-%d-" % os.getpid())
        self._make_network()
        self.hosts = [Host(self, i) for i in range(self.count)]
        errors = []

        def start_host(host):
            try:
                host._start()
            except BaseException as error:   # reported below, in the caller's thread
                errors.append("%s: %s" % (host.name, error))

        threads = [threading.Thread(target=start_host, args=(h,), daemon=True) for h in self.hosts]
        for t in threads:
            t.start()
        for t in threads:
            t.join(_SETUP_TIMEOUT)
        if errors or any(t.is_alive() for t in threads):
            raise LanError("starting the hosts failed: %s" % ("; ".join(errors) or "time-out"))
        self._follower = threading.Thread(target=self._follow_traces, daemon=True)
        self._follower.start()

    def _follow_traces(self):
        """Keeps each host's trace file current while the LAN lives, so that it can be watched
        from outside too (the tests themselves wait through TraceLog)."""
        while not self._stopping.wait(0.1):
            for host in self.hosts:
                if host.trace is not None:
                    host.trace.refresh()

    def _ip(self, *args):
        _run(["ip"] + list(args), timeout=30)

    def _make_network(self):
        self._ip("netns", "add", self.bridge_ns)
        self._namespaces.append(self.bridge_ns)
        self._ip("-n", self.bridge_ns, "link", "add", "br0", "type", "bridge")
        self._ip("-n", self.bridge_ns, "link", "set", "br0", "up")
        for i in range(self.count):
            netns = "%s-h%d" % (self.ns_base, i)
            self._ip("netns", "add", netns)
            self._namespaces.append(netns)
            # The pair is made inside the bridge's namespace and one end moved to the host's:
            # no interface of ours ever appears in the machine's own namespace.
            self._ip("-n", self.bridge_ns, "link", "add", "h%d" % i, "type", "veth", "peer", "name", "eth0",
                     "netns", netns)
            self._ip("-n", self.bridge_ns, "link", "set", "h%d" % i, "master", "br0", "up")
            self._ip("-n", netns, "link", "set", "lo", "up")
            self._ip("-n", netns, "addr", "add", "%s.%d/24" % (self.subnet, 10 + i), "dev", "eth0")
            self._ip("-n", netns, "link", "set", "eth0", "up")
            # Without a default route a send to 255.255.255.255 fails with "Network is unreachable".
            self._ip("-n", netns, "route", "add", "default", "dev", "eth0")

    def close(self):
        if self._closed:
            return
        self._closed = True
        self._stopping.set()
        if self._follower is not None:
            self._follower.join(10)
        threads = [threading.Thread(target=h._stop, daemon=True) for h in self.hosts]
        for t in threads:
            t.start()
        for t in threads:
            t.join(60)
        for netns in reversed(self._namespaces):
            _kill_namespace_processes(netns)
            _run(["ip", "netns", "del", netns], check=False)
        if self.dir and os.path.isdir(self.dir):
            if self.keep_dir:
                self.save_results(self.keep_dir)
            shutil.rmtree(self.dir, ignore_errors=True)
        if self in _live_lans:
            _live_lans.remove(self)

    def save_results(self, directory):
        """Copies each host's trace, program output and other files (not the prefix) to directory."""
        for host in self.hosts:
            if not os.path.isdir(host.dir):
                continue
            if host.trace is not None:
                host.trace.refresh()
            target = os.path.join(directory, host.name)
            os.makedirs(target, exist_ok=True)
            for name in os.listdir(host.dir):
                path = os.path.join(host.dir, name)
                if os.path.isfile(path):
                    shutil.copy2(path, target)


def close_all():
    """Closes every LAN of this process that is still open (also run at exit)."""
    for lan in list(_live_lans):
        lan.close()


atexit.register(close_all)
