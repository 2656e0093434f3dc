"""Hand-made discovery datagrams for the LAN tests, sent from inside one host's network namespace
(run as `ip netns exec NS python3 whotool.py ...`), and the answers that come back, byte for byte.

    whotool.py --target 10.213.7.10 --port 4000 --marker-address 10.213.7.200 CASE...

Sends each CASE in order to the target at the port, each from a socket of its own (so each has
its own source port), while listening on the port at this host's own address for the answers.
Then sends a last query from a second address of this host (--marker-address, which the test
added to eth0) and waits for its answer on that address. The target answers in the order it was
asked, over one link, so once the last answer is in, every answer to the cases has arrived:
no waiting on time decides what counts. Prints one JSON object:
    {"sent": [{"case": C, "port": P, "size": N}, ...], "answers": [{"port": P, "hex": H}, ...],
     "marker": {"port": P, "hex": H}}
and ends with code 0; with code 1 and a reason on stderr when the last answer did not come within
the limit (--limit seconds, 30 by default).

Cases: empty, long (57 bytes), badsig, badcmd, noterm (a query whose 16 name units hold no zero),
header16 and header0 (24-byte queries with length 16 and 0), leave, query:NAME, answer:NAME.
Nothing here ever sends anywhere but to the target given (an address of the test's own network)."""

import argparse
import json
import socket
import struct
import sys

SIGNATURE = 0x12345678
CMD_ANSWER, CMD_QUERY, CMD_LEAVE = 1, 2, 3


def who(command, nick="", length=16, signature=SIGNATURE, sequence=0x0A0B0C0D):
    units = nick.encode("utf-16-le")[:32]
    return struct.pack("<6I", signature, command, 0, length, 0, sequence) + units + b"\0" * (32 - len(units))


FIXED_CASES = {
    "empty": lambda: b"",
    "long": lambda: who(CMD_QUERY, "LONG") + b"\0",
    "badsig": lambda: who(CMD_QUERY, "BADSIG", signature=0x12345679),
    "badcmd": lambda: who(9, "BADCMD"),
    "noterm": lambda: who(CMD_QUERY, "NOTERMINATORXXXX"),
    "header16": lambda: who(CMD_QUERY, length=16)[:24],
    "header0": lambda: who(CMD_QUERY, length=0)[:24],
    "leave": lambda: who(CMD_LEAVE, "LEAVING"),
}


def datagram(case):
    kind, _, name = case.partition(":")
    if case in FIXED_CASES:
        return FIXED_CASES[case]()
    if kind in ("query", "answer") and name:
        return who(CMD_QUERY if kind == "query" else CMD_ANSWER, name)
    raise SystemExit("unknown case %r" % case)


def own_address(target):
    """This host's address on the way to the target (what the target sees as the sender)."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.connect((target, 9))   # no datagram is sent: this only picks the route
        return probe.getsockname()[0]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--target", required=True)
    parser.add_argument("--port", type=int, default=4000)
    parser.add_argument("--marker-address", required=True)
    parser.add_argument("--limit", type=float, default=30.0)
    parser.add_argument("cases", nargs="+")
    args = parser.parse_args(argv)

    answers_socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    answers_socket.bind((own_address(args.target), args.port))
    marker_socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    marker_socket.bind((args.marker_address, args.port))

    sent = []
    for case in args.cases:
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
            payload = datagram(case)
            sender.sendto(payload, (args.target, args.port))
            sent.append({"case": case, "port": sender.getsockname()[1], "size": len(payload)})

    marker_sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    marker_sender.bind((args.marker_address, 0))
    marker_sender.sendto(who(CMD_QUERY, length=0), (args.target, args.port))
    marker_socket.settimeout(args.limit)
    try:
        data, source = marker_socket.recvfrom(2048)
    except socket.timeout:
        print("no answer to the last query within %s s" % args.limit, file=sys.stderr)
        return 1
    marker = {"port": source[1], "hex": data.hex()}

    answers = []
    answers_socket.setblocking(False)
    while True:
        try:
            data, source = answers_socket.recvfrom(2048)
        except BlockingIOError:
            break
        answers.append({"port": source[1], "address": source[0], "hex": data.hex()})
    print(json.dumps({"sent": sent, "answers": answers, "marker": marker}))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
