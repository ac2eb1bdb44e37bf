#!/usr/bin/env python3
"""Sends the game datagrams of a capture again, both directions, from UDP
sockets on 127.0.0.1 at the capture's own pace: the server's from port
SERVER_PORT, the client's from CLIENT_PORT. A live capture of the loopback
interface then sees the session as it was played.

    send_capture.py CAPTURE.pcap SERVER_PORT CLIENT_PORT [PACE]

CAPTURE.pcap is classic pcap with Ethernet framing (editcap -F pcap turns a
pcapng into one); the server is the endpoint on port 7777. PACE scales the
waits (1 is the recorded pace). Prints "sending" when it starts and "sent N"
when done, on standard output."""

import socket
import struct
import sys
import time


def datagrams(path):
    data = open(path, "rb").read()
    magic = struct.unpack("<I", data[:4])[0]
    endian = "<" if magic in (0xA1B2C3D4, 0xA1B23C4D) else ">"
    nano = magic in (0xA1B23C4D, 0x4D3CB2A1)
    at = 24
    while at + 16 <= len(data):
        sec, frac, incl, _ = struct.unpack(endian + "IIII", data[at:at + 16])
        frame = data[at + 16:at + 16 + incl]
        at += 16 + incl
        t = sec + frac / (1e9 if nano else 1e6)
        if len(frame) < 14 + 20 or frame[12:14] != b"\x08\x00":
            continue
        ip = frame[14:]
        header = (ip[0] & 15) * 4
        flags_offset = struct.unpack(">H", ip[6:8])[0]
        if ip[9] != 17 or flags_offset & 0x3FFF:
            continue  # not UDP, or a fragment: not in the sessions sent here
        src_port, dst_port, length = struct.unpack(">HHH", ip[header:header + 6])
        yield t, src_port, dst_port, ip[header + 8:header + length]


def main():
    path, server_port, client_port = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    pace = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind(("127.0.0.1", server_port))
    client = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    client.bind(("127.0.0.1", client_port))
    print("sending", flush=True)
    start, first, sent = time.monotonic(), None, 0
    for t, src, _, payload in datagrams(path):
        first = t if first is None else first
        wait = (t - first) * pace - (time.monotonic() - start)
        if wait > 0:
            time.sleep(wait)
        if src == 7777:
            server.sendto(payload, ("127.0.0.1", client_port))
        else:
            client.sendto(payload, ("127.0.0.1", server_port))
        sent += 1
    print("sent", sent, flush=True)


if __name__ == "__main__":
    main()
