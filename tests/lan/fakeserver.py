"""A stand-in for a serving host, in the protocol's own bytes, for the client's LAN tests. Run
inside one host's namespace:

    fakeserver.py --announce-to ADDRESS MODE

It tells ADDRESS who it is (one cmd_WhoAnswer datagram as "FAKEHOST", so that the host lists it),
prints "LISTENING", and answers every TCP connection on 4001: cmd_GetInfo with the list
"Pelko Fake Data", cmd_GetData with 6000 pattern bytes, except where the MODE says otherwise:

    ok           as above
    slow         the data in 10 pieces, 0.9 s apart (9 s in all, never 7 s without a step)
    silent       reads the request and never answers
    reset        reads a data request and resets the connection
    badsum       the data with a checksum that does not match
    empty        an empty format list
    big          the data in 2 MiB pieces of 64 MiB in all, 0.2 s apart (time to cancel)
    huge         a data reply that announces 2 GiB - 1 bytes and sends none
    last:FILE    the data but its last 40 bytes (in its last percent), which follow once FILE exists
    error:N:CMD  the error reply N to command CMD (4 or 6), everything else as in ok
"""

import os
import socket
import struct
import sys
import threading
import time
import zlib

SIGNATURE = 0x12345678
FORMAT_LIST = "Pelko Fake Data"
DATA_SIZE = 6000


def pattern(size):
    return bytes(((i * 131) ^ (i >> 11) ^ (i >> 19)) & 0xFF for i in range(size))


def header(command, error, length, checksum, sequence):
    return struct.pack("<6I", SIGNATURE, command, error, length, checksum, sequence)


def receive(conn, size):
    data = b""
    while len(data) < size:
        chunk = conn.recv(size - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def read_request(conn):
    """(command, sequence) of a request that came in whole, or None."""
    head = receive(conn, 24)
    if head is None:
        return None
    _, command, _, length, _, sequence = struct.unpack("<6I", head)
    return (command, sequence) if receive(conn, length) is not None else None


def serve(conn, mode):
    request = read_request(conn)
    if request is None:
        return
    command, sequence = request
    if mode == "silent":
        time.sleep(60)
        return
    if mode == "reset" and command == 6:
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        return
    if mode.startswith("error:"):
        _, code, for_command = mode.split(":")
        if command == int(for_command):
            conn.sendall(header(command, int(code), 0, 0, sequence))
            return
    if mode == "huge" and command == 6:
        conn.sendall(header(7, 0, (1 << 31) - 1, 0, sequence))
        time.sleep(10)
        return
    if command == 4:
        text = "" if mode == "empty" else FORMAT_LIST
        payload = (text + "\0").encode("utf-16-le")
        conn.sendall(header(5, 0, len(payload), 0, sequence) + payload)
        return
    size = 64 << 20 if mode == "big" else DATA_SIZE
    data = (pattern(DATA_SIZE) * (size // DATA_SIZE + 1))[:size]
    checksum = zlib.crc32(data, 0xFFFFFFFF) ^ (1 if mode == "badsum" else 0)
    head = header(7, 0, len(data), checksum, sequence)
    if mode.startswith("last:"):   # the end waits for the test (to cancel in the last percent)
        conn.sendall(head + data[:-40])
        while not os.path.exists(mode[5:]):
            time.sleep(0.05)
        conn.sendall(data[-40:])
        return
    conn.sendall(head)
    pieces, pause = (10, 0.9) if mode == "slow" else (32, 0.2) if mode == "big" else (1, 0)
    step = -(-len(data) // pieces)
    for at in range(0, len(data), step):
        if pause:
            time.sleep(pause)
        conn.sendall(data[at:at + step])


def main():
    if len(sys.argv) != 4 or sys.argv[1] != "--announce-to":
        sys.exit(__doc__)
    announce_to, mode = sys.argv[2:]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("", 4001))
    listener.listen(5)
    nick = "FAKEHOST".encode("utf-16-le")
    who = header(1, 0, 16, 0, 1) + nick + b"\0" * (32 - len(nick))
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as udp:
        udp.sendto(who, (announce_to, 4000))
    print("LISTENING", flush=True)
    while True:
        conn, _ = listener.accept()
        def run(c=conn):
            with c:
                try:
                    serve(c, mode)
                except OSError:
                    pass
        threading.Thread(target=run, daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
