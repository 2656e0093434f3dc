"""A LAN of sandboxed Wine hosts for Pelko's multi-host tests, demonstration and benchmarks (Python standard library only).

Each host has its own network namespace (lo, and eth0 on a private /24 that exists only inside,
bridged to the others in a namespace of its own), its own host name, /etc/hosts and resolv.conf,
its own copy of the template Wine prefix, Xvfb and wineserver (started inside first: Wine's
sockets belong to the server's namespace). No Wine process runs in the machine's own namespaces.
close() tears everything down, also when a test fails, and raises LanError if anything is left.
"""

import atexit
import os
import pathlib
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
TEMPLATE_PREFIX = os.path.join(ROOT, "build", "wineprefix")
NS_PREFIX = "pelkolan"
SETUP_TIMEOUT = 120
ADD_HOST_RE = re.compile(r"  Hosts: AddHost \[(.*)\]$")   # a host table takes a host
_display_lock = threading.Lock()
_live_lans = []


class LanError(Exception):
    """A step of setting up, driving or tearing down the LAN failed."""


def _run(argv, timeout=60, check=True):
    result = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout, text=True)
    if check and result.returncode != 0:
        raise LanError("%s failed (%d): %s" % (" ".join(argv), result.returncode, result.stderr.strip()))
    return result


def prepare_template():
    _run([os.path.join(ROOT, "scripts", "wine-prefix.sh"), TEMPLATE_PREFIX], timeout=300)


def _alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


def remove_stale_runs():
    """Removes the namespaces of earlier runs whose harness process is gone."""
    for line in _run(["ip", "netns", "list"], check=False).stdout.splitlines():
        match = re.match(r"^(%s(\d+)-\S+)" % NS_PREFIX, line)
        if match and not _alive(int(match.group(2))):
            _kill_namespace_processes(match.group(1))
            _run(["ip", "netns", "del", match.group(1)], check=False)


def _kill_namespace_processes(netns):
    """Ends every process inside a namespace: asked first (Xvfb cleans up /tmp), then forced."""
    for attempt in range(60):
        pids = _run(["ip", "netns", "pids", netns], check=False).stdout.split()
        if not pids:
            return
        for pid in pids:
            try:
                os.kill(int(pid), signal.SIGTERM if attempt == 0 else signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.5 if attempt == 0 else 0.05)


# Wine's debug channel prints each OutputDebugString line as
#   0024:warn:seh:dispatch_exception "#00000042  text\r\n"
# with C escapes (\n, \xNN, \uNNNN, ...); lines longer than about 290 characters end in "... instead of ".
# PELKO_WINEDEBUG=-all,warn+seh,+timestamp puts Wine's milliseconds ("6297.447:") in front.
_TRACE_RE = re.compile(r'^(?:[0-9a-f.]+:)*warn:seh:dispatch_exception "(.*)"(\.\.\.)?$')


def decode_trace_line(raw):
    """The trace text of one stderr line of a program, or None; a cut line ends in "..."."""
    match = _TRACE_RE.match(raw.rstrip("\n"))
    if not match:
        return None
    text = match.group(1).encode("latin-1", "backslashreplace").decode("unicode_escape", "replace")
    text = text[:-2] if text.endswith("\r\n") else text[:-1] if text.endswith("\n") else text
    return text + "..." if match.group(2) else text


class TraceLog:
    """The decoded trace lines of every program started on one host, in the order they came,
    also kept in a file. Sources are the programs' stderr files."""

    def __init__(self, path):
        self.path, self._sources, self._lines = path, [], []
        self._lock = threading.Lock()
        open(self.path, "w").close()

    def add_source(self, stderr_path):
        with self._lock:
            self._sources.append([stderr_path, 0, b""])   # path, offset read, partial line

    def refresh(self):
        with self._lock:
            new = []
            for source in self._sources:
                try:
                    with open(source[0], "rb") as f:
                        f.seek(source[1])
                        data = f.read()
                except FileNotFoundError:
                    continue
                source[1] += len(data)
                *complete, source[2] = (source[2] + data).split(b"\n")
                new += [l for l in (decode_trace_line(r.decode("utf-8", "replace")) for r in complete) if l is not None]
            if new:
                self._lines += new
                with open(self.path, "a", encoding="utf-8") as f:
                    f.writelines(line + "\n" for line in new)
            return len(self._lines)

    def lines(self):
        self.refresh()
        with self._lock:
            return list(self._lines)

    def find(self, pattern, start=0):
        """Index of the first line at or after start that matches (re.search), or None."""
        return next((i for i, l in enumerate(self.lines()[start:], start) if re.search(pattern, l)), None)

    def wait_for(self, pattern, timeout=30, start=0):
        """Waits until a line at or after start matches; returns (index, line)."""
        deadline = time.monotonic() + timeout
        while True:
            lines = self.lines()
            for i in range(start, len(lines)):
                if re.search(pattern, lines[i]):
                    return i, lines[i]
            start = max(start, len(lines))
            if time.monotonic() >= deadline:
                raise LanError("no trace line matching %r within %s s; last lines:\n%s"
                               % (pattern, timeout, "\n".join(lines[-15:])))
            time.sleep(0.05)


class Program:
    """A Windows program running on a host (the `wine` process is the program's own process)."""

    def __init__(self, host, popen, name, stderr_path):
        self.host, self.popen, self.name, self.stderr_path, self.pid = host, popen, name, stderr_path, popen.pid

    def running(self):
        return self.popen.poll() is None

    def wait(self, timeout=30):
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise LanError("%s on %s still runs after %s s" % (self.name, self.host.name, timeout))

    def kill(self):
        if self.running():
            self.popen.kill()
        self.popen.wait(timeout=30)

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()


class DriverResult:
    def __init__(self, argv, returncode, stdout, stderr):
        self.argv, self.returncode, self.stdout, self.stderr = argv, returncode, stdout, stderr
        self.ok = returncode == 0

    def lines(self):
        return self.stdout.splitlines()

    def fields(self):
        return dict((line.partition(" ")[0], line.partition(" ")[2]) for line in self.lines())

    def __repr__(self):
        return "pelkodrv %s -> %d\nstdout: %s\nstderr: %s" % (" ".join(self.argv), self.returncode, self.stdout, self.stderr)


class Host:

    def __init__(self, lan, index):
        self.lan, self.index = lan, index
        self.name = "host" + chr(ord("a") + index)          # the Unix host name
        self.computer_name = self.name.upper()              # what GetComputerNameW gives
        self.address = "%s.%d" % (lan.subnet, 10 + index)
        self.netns = "%s-h%d" % (lan.ns_base, index)
        self.dir = os.path.join(lan.dir, self.name)
        self.prefix = os.path.join(self.dir, "prefix")
        self.program_dir = os.path.join(self.prefix, "drive_c", "Pelko")
        self.display = self.trace = self._anchor = None
        self._background = []        # Xvfb and the driver's hold, ended with the host
        self.programs = []
        self._counter = 0
        self._counter_lock = threading.Lock()

    def env(self, winedebug="-all"):
        env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k not in ("DISPLAY", "XAUTHORITY")}
        env.update(WINEPREFIX=self.prefix, WINEDEBUG=winedebug, PATH=env.get("PATH", "/usr/bin:/bin") + ":/usr/lib/wine")
        if self.display is not None:
            env["DISPLAY"] = ":%d" % self.display
        return env

    def _enter(self, argv, cwd=None):
        return ["nsenter", "-t", str(self._anchor.pid), "-n", "-u", "-m", "--wd=%s" % (cwd or self.dir), "--"] + list(argv)

    def popen(self, argv, stdout, stderr, cwd=None, winedebug="-all", **kwargs):
        return subprocess.Popen(self._enter(argv, cwd), stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr,
                                env=self.env(winedebug), **kwargs)

    def _files(self, base):
        with self._counter_lock:
            self._counter += 1
            return [os.path.join(self.dir, "%s-%d.%s" % (base, self._counter, ext)) for ext in ("out", "err")]

    def run(self, argv, timeout=60, cwd=None, check=False):
        """Runs a command inside the host; output goes through files (Wine's helpers may hold
        pipes open). Returns (returncode, stdout, stderr)."""
        paths = self._files("run")
        with open(paths[0], "wb") as out, open(paths[1], "wb") as err:
            process = self.popen(argv, out, err, cwd)
            try:
                code = process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise LanError("%s on %s took more than %s s" % (" ".join(argv), self.name, timeout))
        stdout, stderr = (pathlib.Path(p).read_text(encoding="utf-8", errors="replace") for p in paths)
        for p in paths:
            os.unlink(p)
        if check and code != 0:
            raise LanError("%s on %s failed (%d): %s" % (" ".join(argv), self.name, code, stderr.strip()))
        return code, stdout, stderr

    def reg_add(self, key, value, value_type, data):
        self.run(["wine", "reg", "add", key, "/v", value, "/t", value_type, "/d", str(data), "/f"], check=True)

    def start_program(self, exe=PELKO_EXE, args=()):
        """Installs the program in C:\\Pelko and starts it with WINEDEBUG=-all,warn+seh; its stderr
        joins the host's trace log."""
        os.makedirs(self.program_dir, exist_ok=True)
        for path in [exe] + (PELKO_BESIDE if exe == PELKO_EXE else []):
            if not os.path.exists(path):
                raise LanError("missing %s: build with scripts/build.sh --windows" % path)
            # A running copy may use the file (a second start): the new file takes the name by a
            # rename, so that the running image keeps its own pages.
            target = os.path.join(self.program_dir, os.path.basename(path))
            shutil.copy2(path, target + ".new")
            os.replace(target + ".new", target)
        name = os.path.basename(exe)
        out_path, err_path = self._files(os.path.splitext(name)[0])
        self.trace.add_source(err_path)
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            popen = self.popen(["wine", "C:\\Pelko\\" + name] + list(args), out, err, cwd=self.program_dir,
                               winedebug=os.environ.get("PELKO_WINEDEBUG", "-all,warn+seh"))
        self.programs.append(Program(self, popen, name, err_path))
        return self.programs[-1]

    def driver(self, *args, timeout=60):
        argv = [str(a) for a in args]
        return DriverResult(argv, *self.run(["wine", DRIVER_EXE] + argv, timeout=timeout))

    def driver_ok(self, *args, timeout=60):
        result = self.driver(*args, timeout=timeout)
        if not result.ok:
            raise LanError("on %s: %r" % (self.name, result))
        return result

    def listed(self, start=0):
        """The names this host's table took (trace lines from start on), in the order they came."""
        return [m.group(1) for m in map(ADD_HOST_RE.search, self.trace.lines()[start:]) if m]

    def program_pid(self, image="pelko.exe"):
        """The Linux process of the running program image (wine starts it through a loader), or None."""
        for program in self.programs:
            if program.name == image and program.running():
                for pid in _descendants(program.pid):
                    if image in _cmdline(pid):
                        return pid
        return None

    def memory_kib(self, field="VmRSS", image="pelko.exe"):
        """A memory figure of the running program image (VmRSS resident, VmHWM peak), in KiB, or None."""
        pid = self.program_pid(image)
        return None if pid is None else memory_kib(pid, field)

    def screenshot(self, path):
        path = os.path.abspath(path)
        code, _, err = self.run(["sh", "-c", 'xwd -display "$DISPLAY" -root -silent | /usr/bin/convert xwd:- "$0"', path])
        if code != 0 or not os.path.exists(path):
            raise LanError("screenshot of %s failed: %s" % (self.name, err.strip()))
        return path

    def _start(self):
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
        self._anchor = subprocess.Popen(["ip", "netns", "exec", self.netns, "unshare", "--uts", "--mount",
                                         "--propagation", "private", "--", "sh", "-c", script, self.name, etc],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        if self._anchor.stdout.readline().strip() != "ready":
            raise LanError("the namespaces of %s could not be set up" % self.name)
        self._start_xvfb()
        if copy.wait(timeout=SETUP_TIMEOUT) != 0:
            raise LanError("copying the template prefix for %s failed" % self.name)
        self.trace = TraceLog(os.path.join(self.dir, "trace.txt"))
        self.run(["wineserver", "-p"], timeout=SETUP_TIMEOUT, check=True)
        # Wine's background processes (explorer with the desktop and the clipboard manager,
        # services) start here and write to wineboot's files for as long as they live.
        self.run(["wineboot"], timeout=SETUP_TIMEOUT, check=True)
        # Wine closes a desktop (with its tray and clipboard manager) a second after its last
        # program ends; Windows keeps its shell running. The driver's "hold" keeps it in use.
        hold = self.popen(["wine", DRIVER_EXE, "hold"], subprocess.PIPE, subprocess.DEVNULL, text=True)
        self._background.append(hold)
        if hold.stdout.readline().strip() != "holding":
            raise LanError("the driver's hold did not start on %s" % self.name)

    def _start_xvfb(self):
        # Display numbers are machine-wide. Xvfb takes a number through its lock file and tells on
        # -displayfd when it is ready; a number in use makes it end at once: try the next.
        first = 300 + (os.getpid() * 7 + self.index * 13) % 400
        for n in list(range(first, 700)) + list(range(300, first)):
            read_fd, write_fd = os.pipe()
            with _display_lock:
                xvfb = subprocess.Popen(self._enter(["Xvfb", ":%d" % n, "-displayfd", str(write_fd), "-nolisten", "tcp",
                                                     "-screen", "0", "1024x768x24"]),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, pass_fds=(write_fd,))
            os.close(write_fd)
            with os.fdopen(read_fd) as reader:
                if reader.readline().strip() == str(n):
                    self._background.append(xvfb)
                    self.display = n
                    return
            xvfb.kill()
            xvfb.wait()
        raise LanError("no free X display for %s" % self.name)

    def _stop(self):
        if self._anchor is None:
            return
        if self._anchor.poll() is None and os.path.isdir(self.prefix):
            try:
                self.run(["wineserver", "-k"], timeout=15)
            except (LanError, OSError):
                pass
        for process in [p.popen for p in self.programs] + self._background + [self._anchor]:
            if process.poll() is None:
                process.terminate()   # Xvfb removes its lock file and socket on SIGTERM
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            if process.stdout:
                process.stdout.close()
        _kill_namespace_processes(self.netns)
        if self.trace is not None:
            self.trace.refresh()


class Lan:

    _sequence = 0

    def __init__(self, count=1):
        if os.geteuid() != 0:
            raise LanError("the LAN harness needs root (network namespaces)")
        Lan._sequence += 1
        self.ns_base = "%s%d-%d" % (NS_PREFIX, os.getpid(), Lan._sequence)
        # One /24 inside the namespaces only; it is never routed out.
        self.subnet = "10.213.%d" % (os.getpid() % 250 + 1)
        self.count = count
        self.dir, self.hosts, self._namespaces = None, [], []

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
        if Lan._sequence == 1:
            remove_stale_runs()
        _live_lans.append(self)
        if not os.path.exists(os.path.join(TEMPLATE_PREFIX, ".pelko-prepared")):
            prepare_template()
        self.dir = tempfile.mkdtemp(prefix="pelko-lan-%d-" % os.getpid())
        bridge = self.ns_base + "-br"
        self._ip("netns", "add", bridge)
        self._namespaces.append(bridge)
        self._ip("-n", bridge, "link", "add", "br0", "type", "bridge")
        self._ip("-n", bridge, "link", "set", "br0", "up")
        self.hosts = [Host(self, i) for i in range(self.count)]
        for i, host in enumerate(self.hosts):
            os.makedirs(host.dir)
            self._ip("netns", "add", host.netns)
            self._namespaces.append(host.netns)
            # The pair is made inside the bridge's namespace and one end moved to the host's: no
            # interface of ours ever appears in the machine's own namespace.
            self._ip("-n", bridge, "link", "add", "h%d" % i, "type", "veth", "peer", "name", "eth0", "netns", host.netns)
            self._ip("-n", bridge, "link", "set", "h%d" % i, "master", "br0", "up")
            self._ip("-n", host.netns, "link", "set", "lo", "up")
            self._ip("-n", host.netns, "addr", "add", "%s/24" % host.address, "dev", "eth0")
            self._ip("-n", host.netns, "link", "set", "eth0", "up")
            # Without a default route a send to 255.255.255.255 fails with "Network is unreachable".
            self._ip("-n", host.netns, "route", "add", "default", "dev", "eth0")
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
            t.join(SETUP_TIMEOUT)
        if errors or any(t.is_alive() for t in threads):
            raise LanError("starting the hosts failed: %s" % ("; ".join(errors) or "time-out"))

    def wait_all_listed(self, timeout=60, starts=None):
        """Waits until every host's table has taken every other host (trace lines from starts[name] on)."""
        for host in self.hosts:
            for other in self.hosts:
                if other is not host:
                    host.trace.wait_for(r"  Hosts: AddHost \[%s\]$" % re.escape(other.computer_name), timeout,
                                        start=(starts or {}).get(host.name, 0))

    def _ip(self, *args):
        _run(["ip"] + list(args), timeout=30)

    def close(self):
        if self not in _live_lans:
            return
        _live_lans.remove(self)
        threads = [threading.Thread(target=h._stop, daemon=True) for h in self.hosts]
        for t in threads:
            t.start()
        for t in threads:
            t.join(60)
        for netns in reversed(self._namespaces):
            _kill_namespace_processes(netns)
            _run(["ip", "netns", "del", netns], check=False)
        shutil.rmtree(self.dir or "/nonexistent", ignore_errors=True)
        listed = [line.split()[0] for line in _run(["ip", "netns", "list"], check=False).stdout.splitlines() if line]
        left = [n for n in self._namespaces if n in listed]
        if left or (self.dir and os.path.exists(self.dir)):
            raise LanError("the LAN left %s behind" % (left or self.dir))

    def save_results(self, directory):
        """Copies each host's trace, program output and other files (not the prefix) to directory,
        with a screenshot of each host's desktop."""
        for host in self.hosts:
            if host.trace is not None:
                host.trace.refresh()
            os.makedirs(os.path.join(directory, host.name), exist_ok=True)
            try:
                host.screenshot(os.path.join(directory, host.name + ".png"))
            except (LanError, OSError):
                pass
            for name in os.listdir(host.dir) if os.path.isdir(host.dir) else []:
                if os.path.isfile(os.path.join(host.dir, name)):
                    shutil.copy2(os.path.join(host.dir, name), os.path.join(directory, host.name))


def memory_kib(pid, field):
    """A memory figure (VmRSS, VmHWM) of a Linux process in KiB, or None when it has ended."""
    try:
        with open("/proc/%d/status" % pid) as f:
            found = re.search(field + r":\s+(\d+)", f.read())
    except OSError:
        return None
    return int(found.group(1)) if found else None


def _cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return ""


def _descendants(pid):
    """pid and every process below it."""
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    parent = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(parent, []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        todo.extend(children.get(p, []))
    return found


def close_all():
    """Closes every LAN of this process that is still open (also run at exit)."""
    for lan in list(_live_lans):
        lan.close()


def _interrupt(signum, frame):
    # A SIGTERM (the time limit of run.sh) ends the run as Ctrl+C would, so that every LAN is
    # still torn down; later signals must not cut the tear-down short.
    for other in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT):
        signal.signal(other, signal.SIG_IGN)
    raise KeyboardInterrupt("signal %d" % signum)


atexit.register(close_all)
if threading.current_thread() is threading.main_thread():
    for _signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(_signum, _interrupt)
