"""A network attack on a running Pelko host from another host of the LAN harness, bounded in count
and time and reproducible from a seed: malformed TCP requests (random bytes, cut headers, every
command and length, names without a terminator, requests sent byte by byte, connections dropped
mid-request and mid-reply, half a reply read), hostile datagrams, and hundreds of idle connections
at once. Afterwards it asks for one format properly and checks the data and its checksum.

    attack(attacker, target, seed, tcp, udp, idle, limit)      the attack, from the attacker host
    objects(host)                                              the target's memory, threads, handles
    python3 netattack.py attack TARGET-IP SEED TCP UDP IDLE LIMIT CHECK-TEXT
                                            (runs inside the attacker's namespace; one JSON line)

Traffic goes only to the target's address on the harness's private network (scripts/fuzz-net.sh
runs a whole attack with its figures; the LAN test tests/lan/test_transfer.py a short one)."""

import json
import os
import random
import socket
import struct
import sys
import threading
import time
import zlib

SIGNATURE = 0x12345678
TCP_PORT, UDP_PORT = 4001, 4000
BLOCK_FORMAT, BLOCK_SIZE = "Pelko Test Block", 1 << 20   # a reply worth dropping halfway
WORKERS = 12
# Lengths around every limit of a request: the header, the longest name, the buffer, and beyond.
EDGE_LENGTHS = [0, 1, 2, 23, 24, 25, 510, 511, 512, 513, 526, 527, 528, 550, 551, 552, 553, 1024,
                0x7FFFFFFF, 0x80000000, 0xFFFFFFFF]


def header(command, length, error=0, checksum=0, sequence=0, signature=SIGNATURE):
    return struct.pack("<6I", signature, command, error, length, checksum, sequence)


def name_bytes(name, terminated=True):
    return name.encode("utf-16-le") + (b"\0\0" if terminated else b"")


def get_data(name):
    payload = name_bytes(name)
    return header(6, len(payload)) + payload


def tcp_case(rng, i):
    """One malformed (or now and then proper) request: (kind, bytes, how it is sent and left)."""
    roll = rng.random()
    if roll < 0.20:
        return "random", rng.randbytes(rng.randrange(0, 600)), "whole"
    if roll < 0.33:
        whole = header(rng.choice([4, 6]), 0, sequence=i)
        return "cut-header", whole[:rng.randrange(1, 24)], "whole"
    if roll < 0.58:
        command, length = i % 12, EDGE_LENGTHS[(i // 12) % len(EDGE_LENGTHS)]
        payload = rng.randbytes(min(length, 600)) if rng.random() < 0.5 else rng.randbytes(rng.randrange(0, 64))
        return "command-length", header(command, length, sequence=i) + payload, "whole"
    if roll < 0.68:
        name = "".join(chr(rng.randrange(0x20, 0xD7FF)) for _ in range(rng.randrange(1, 300)))
        payload = name_bytes(name, terminated=False)
        return "no-terminator", header(6, len(payload)) + payload, "whole"
    if roll < 0.71:
        return "byte-by-byte", get_data(rng.choice(["CF_UNICODETEXT", "CF_TEXT", "No Such Format"])), "bytes"
    if roll < 0.83:
        whole = get_data("CF_UNICODETEXT")
        return "dropped-mid-request", whole[:rng.randrange(1, len(whole))], "reset"
    if roll < 0.88:
        return "dropped-mid-reply", get_data(BLOCK_FORMAT), "reply-reset"
    if roll < 0.93:
        return "half-reply", get_data(BLOCK_FORMAT), "reply-half"
    return "proper", header(4, 0, sequence=i), "whole"


class Tally:
    def __init__(self):
        self.lock = threading.Lock()
        self.counts = {}

    def add(self, key, n=1):
        with self.lock:
            self.counts[key] = self.counts.get(key, 0) + n


def recv_exact(sock, size):
    data = b""
    while len(data) < size:
        piece = sock.recv(min(65536, size - len(data)))
        if not piece:
            break
        data += piece
    return data


def run_tcp_case(target, case, tally):
    kind, data, mode = case
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    sock.settimeout(10)
    try:
        sock.connect((target, TCP_PORT))
        if mode == "bytes":
            for k in range(len(data)):
                sock.sendall(data[k:k + 1])
        else:
            sock.sendall(data)
        if mode == "reset":
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif mode in ("reply-reset", "reply-half"):
            reply = recv_exact(sock, 24)
            if len(reply) == 24:
                length = struct.unpack("<6I", reply)[3]
                recv_exact(sock, min(length, BLOCK_SIZE) // 2 if mode == "reply-half" else 100)
            if mode == "reply-reset":
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            check_reply(reply, tally)
        else:
            # Said all it will say: a whole request is answered, a part of one ends with the stream.
            sock.shutdown(socket.SHUT_WR)
            check_reply(recv_exact(sock, 24), tally)
        tally.add("tcp-" + kind)
    except OSError as error:
        tally.add("tcp-error-%s" % (error.errno or type(error).__name__))
    finally:
        sock.close()


def check_reply(reply, tally):
    if not reply:
        tally.add("replies-none")
        return
    fields = struct.unpack("<6I", reply) if len(reply) == 24 else None
    # Every reply is a whole header with the signature, a reply command or the request's, and an error code of the protocol.
    tally.add("replies" if fields and fields[0] == SIGNATURE and fields[2] <= 7 else "replies-bad")


def hostile_datagrams(target, seed, count, tally):
    rng = random.Random(seed * 7919 + 1)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        for i in range(count):
            roll = rng.random()
            if roll < 0.4:
                data = rng.randbytes(rng.choice([0, 1, 23, 24, 55, 56, 57, rng.randrange(0, 1500)]))
            elif roll < 0.8:   # a header with the signature, any command and length, a nickname of garbage
                data = header(rng.randrange(0, 8), rng.choice([0, 15, 16, 17, 0xFFFFFFFF]), sequence=i) + \
                    rng.randbytes(rng.choice([0, 16, 32, 33]))
            else:              # a well-formed query or answer whose nickname fills its field without a terminator
                data = header(rng.choice([1, 2]), 16, sequence=i) + rng.randbytes(32)
            try:
                sock.sendto(data, (target, UDP_PORT))
            except OSError:
                tally.add("udp-error")
                continue
            tally.add("udp-sent")
            if i % 200 == 0:
                time.sleep(0.002)   # the socket's queue on the target: a flood, not a drop
    finally:
        sock.close()


def idle_connections(target, count, hold, tally):
    """Opens count connections that send nothing, holds them, and tells how many were closed at once."""
    socks = []
    for _ in range(count):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.settimeout(10)
        try:
            sock.connect((target, TCP_PORT))
            socks.append(sock)
        except OSError:
            sock.close()
            tally.add("idle-connect-error")
    tally.add("idle-opened", len(socks))
    time.sleep(hold)
    for sock in socks:
        sock.setblocking(False)
        try:
            closed = sock.recv(1) == b""
        except BlockingIOError:
            closed = False
        except OSError:
            closed = True
        tally.add("idle-closed-by-host" if closed else "idle-held")
        sock.close()


def proper_fetch(target, name):
    """Fetches one format properly: (data, whether the checksum is right)."""
    with socket.create_connection((target, TCP_PORT), timeout=30) as sock:
        sock.sendall(get_data(name))
        reply = recv_exact(sock, 24)
        if len(reply) != 24:
            return None, False
        _, command, error, length, checksum, _ = struct.unpack("<6I", reply)
        if command != 7 or error != 0:
            return None, False
        data = recv_exact(sock, length)
        return data, len(data) == length and zlib.crc32(data, 0xFFFFFFFF) == checksum


def run_attack(target, seed, tcp, udp, idle, limit, check_text):
    tally, start = Tally(), time.monotonic()
    deadline = start + limit
    datagrams = threading.Thread(target=hostile_datagrams, args=(target, seed, udp, tally))
    datagrams.start()
    idle_connections(target, idle, 3.0, tally)
    next_case, lock = [0], threading.Lock()

    def worker():
        while time.monotonic() < deadline:
            with lock:
                i = next_case[0]
                next_case[0] += 1
            if i >= tcp:
                return
            run_tcp_case(target, tcp_case(random.Random(seed * 1000003 + i), i), tally)

    workers = [threading.Thread(target=worker) for _ in range(WORKERS)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    datagrams.join(max(1.0, deadline - time.monotonic()))
    counts = dict(tally.counts)
    counts["tcp-requests"] = sum(v for k, v in counts.items() if k.startswith("tcp-"))
    counts["seconds"] = round(time.monotonic() - start, 1)
    counts["cut-short"] = next_case[0] < tcp or datagrams.is_alive()
    data, checksum_ok = proper_fetch(target, "CF_UNICODETEXT")
    counts["served-right"] = checksum_ok and data == name_bytes(check_text)
    return counts


# --- on the controlling side (outside the namespaces)

def attack(attacker, target, seed, tcp, udp, idle, limit, check_text):
    """Runs the attack inside the attacker host against the target host; returns the counts."""
    argv = [sys.executable, os.path.abspath(__file__), "attack", target.address, seed, tcp, udp, idle, limit, check_text]
    code, out, err = attacker.run([str(a) for a in argv], timeout=limit + 120)
    if code != 0:
        raise RuntimeError("the attack failed (%d): %s" % (code, err.strip()[-2000:]))
    return json.loads(out.strip().splitlines()[-1])


def objects(host, image="pelko.exe"):
    """The running program's resident memory (KiB, from Linux), its handles, the registry keys among
    them, the other handles and its threads (from Windows). Under Wine every served reply leaves
    behind two handles of the registry key HKCU\\Software\\Wine\\DllOverrides that the program never
    opened (Wine's own; see the README): they are counted apart."""
    fields = host.driver_ok("objects", image).fields()
    rss = host.memory_kib("VmRSS", image)
    handles, keys = int(fields["handles"]), int(fields["keys"])
    return {"rss_kib": rss, "handles": handles, "keys": keys, "other_handles": handles - keys, "threads": int(fields["threads"])}


def problems(counts, before, after, rss_kib=4096):
    """What went wrong in an attack (counts) and after it (objects before and after); empty if nothing:
    threads, other handles or resident memory (KiB) more than 2, 16 or rss_kib above their level before."""
    slack = {"threads": 2, "other_handles": 16, "rss_kib": rss_kib}
    return [k for k in slack if after[k] > before[k] + slack[k]] + [k for k, bad in (
        ("not served right", not counts["served-right"]), ("cut short", counts["cut-short"]), ("bad replies", counts.get("replies-bad"))) if bad]


def settled(host, before, threads=2, handles=16, timeout=60):
    """Waits until the program's threads and handles are back near their level before; the last figures."""
    end = time.monotonic() + timeout
    while True:
        now = objects(host)
        if (now["threads"] <= before["threads"] + threads and now["other_handles"] <= before["other_handles"] + handles) \
                or time.monotonic() > end:
            return now
        time.sleep(0.5)


if __name__ == "__main__" and len(sys.argv) == 9 and sys.argv[1] == "attack":
    _, _, target_ip, *numbers, text = sys.argv
    print(json.dumps(run_attack(target_ip, *map(int, numbers), text)), flush=True)
