#!/usr/bin/env python3
"""How soon norvi-replay shows what a live capture made the plugin do.

    live_latency.py NORVI_REPLAY CAPTURE.pcap [--rate N] [--idle S]

Feeds CAPTURE.pcap (classic pcap) to `norvi-replay --format jsonl -` through
a pipe, a record at a time: N records a second (default: the capture's own
pace). For every transcript line it takes the time from the moment the last
byte of the record the line names ("record": R) was written into the pipe
to the moment the line came out of the tool's standard output, and prints
the median, the 99th percentile and the largest, for every line and for the
warning lines alone. It also measures the tool's processor time: while it
waits with nothing to read (S seconds, default 2, after the capture's
header), and while the records come.

Lines that the end of the input causes (the final frame and the summary)
are not timed. Needs Linux (/proc) for the processor time."""

import argparse
import os
import re
import struct
import subprocess
import sys
import threading
import time


def records(path):
    data = open(path, "rb").read()
    magic = struct.unpack("<I", data[:4])[0]
    if magic not in (0xA1B2C3D4, 0xA1B23C4D):
        sys.exit("live_latency.py: %s is no little-endian classic pcap" % path)
    nano = magic == 0xA1B23C4D
    header, at, out = data[:24], 24, []
    while at + 16 <= len(data):
        sec, frac, incl, _ = struct.unpack("<IIII", data[at:at + 16])
        out.append((sec + frac / (1e9 if nano else 1e6), data[at:at + 16 + incl]))
        at += 16 + incl
    return header, out


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def percentile(values, share):
    values = sorted(values)
    return values[min(len(values) - 1, int(share * len(values)))] if values else float("nan")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("capture")
    parser.add_argument("--rate", type=float, default=0, help="records a second; 0: own pace")
    parser.add_argument("--idle", type=float, default=2.0)
    args = parser.parse_args()
    header, recs = records(args.capture)

    tool = subprocess.Popen([args.tool, "--format", "jsonl", "-"], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
    lines = []  # (arrival, record, warning)
    record_of = re.compile(rb'"record": (\d+), "tick": \d+\}$')

    def read():
        for line in tool.stdout:
            now = time.monotonic()
            m = record_of.search(line.rstrip(b"\n"))
            lines.append((now, int(m.group(1)) if m else 0, b'"warning"' in line))

    reader = threading.Thread(target=read)
    reader.start()
    tool.stdin.write(header)
    time.sleep(0.5)  # the tool has started and waits
    idle_from = cpu_seconds(tool.pid)
    time.sleep(args.idle)
    idle_cpu = cpu_seconds(tool.pid) - idle_from

    written = {}
    start, first = time.monotonic(), recs[0][0] if recs else 0
    busy_from = cpu_seconds(tool.pid)
    for number, (stamp, blob) in enumerate(recs, 1):
        due = start + ((stamp - first) if args.rate <= 0 else (number - 1) / args.rate)
        wait = due - time.monotonic()
        if wait > 0:
            time.sleep(wait)
        tool.stdin.write(blob)
        written[number] = time.monotonic()
    feeding = time.monotonic() - start
    time.sleep(0.2)  # the last record's lines
    busy_cpu = cpu_seconds(tool.pid) - busy_from
    ended = time.monotonic()
    tool.stdin.close()
    reader.join()
    tool.wait()

    timed = [(t - written[r]) * 1000 for t, r, _ in lines if r in written and t < ended]
    warned = [(t - written[r]) * 1000 for t, r, w in lines if w and r in written and t < ended]
    print("records: %d in %.1f s (%.0f a second); transcript lines timed: %d, warnings: %d"
          % (len(recs), feeding, len(recs) / feeding if feeding else 0, len(timed), len(warned)))
    for name, values in (("every line", timed), ("warnings", warned)):
        if values:
            print("%-10s  p50 %.2f ms, p99 %.2f ms, max %.2f ms"
                  % (name, percentile(values, 0.5), percentile(values, 0.99), max(values)))
    print("processor: %.3f s while waiting %.1f s with nothing to read (%.2f %% of a core); "
          "%.3f s while the records came (%.2f %% of a core)"
          % (idle_cpu, args.idle, 100 * idle_cpu / args.idle, busy_cpu,
             100 * busy_cpu / (feeding + 0.2)))


if __name__ == "__main__":
    main()
