#!/usr/bin/env python3
"""The annotated capture as Wireshark reads it (Debian's tshark).

    tshark_check.py native NORVI_REPLAY CAPTURE [-- OPTION...]
    tshark_check.py wine NORVI_REPLAY.EXE CAPTURE WINE_PROBE [-- OPTION...]

Runs the tool on CAPTURE with --annotate and checks with tshark that the
file written holds as many frames as the capture, each with the same bytes,
time, lengths and link layer, and that the comments stand on the frames the
jsonl transcript names: each warning on its record, each of its evidence
packets on theirs, and a spectate comment for every player the summary says
was spectated. Exits 77 (skipped) where tshark is missing or Wine cannot
start. Options after -- go to the tool (--server for a capture without a
handshake).
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile


def tshark(*arguments):
    done = subprocess.run(["tshark", *arguments], capture_output=True)
    # A capture whose last record is cut short is read up to it.
    if done.returncode != 0 and b"cut short" not in done.stderr:
        raise RuntimeError("tshark %s: %s" % (" ".join(arguments), done.stderr.decode()))
    return done.stdout.decode("utf-8")


def frames(path):
    """Every frame's number, time, lengths and protocols, and the hex dump."""
    fields = tshark("-r", path, "-T", "fields", "-e", "frame.number", "-e", "frame.time_epoch",
                    "-e", "frame.len", "-e", "frame.cap_len", "-e", "frame.protocols")
    return fields.splitlines(), tshark("-r", path, "-x")


def comments(path):
    """{frame number: [comment, ...]} for every frame that has any."""
    found = {}
    for packet in json.loads(tshark("-r", path, "-Y", "frame.comment", "-T", "json",
                                    "-e", "frame.number", "-e", "frame.comment")):
        layers = packet["_source"]["layers"]
        found[int(layers["frame.number"][0])] = layers["frame.comment"]
    return found


def expected_comments(transcript):
    """The warning and evidence comments the jsonl transcript calls for, by
    record, and the players the summary says were spectated."""
    expected, spectated = {}, []
    for line in transcript.splitlines():
        effect = json.loads(line)
        if "summary" in effect:
            spectated = [p["player"] for p in effect["summary"]["spectated"]]
        warning = effect.get("warning")
        if not warning:
            continue
        # The last word of the chat line names what the warning is for.
        # The line as the game shows it, without its colour tags.
        line = re.sub(r"\{[0-9A-Fa-f]{6}\}", "", effect["chat"])
        cheat = line.split()[-1]
        player = "%s[%d]" % (warning["name"], warning["player"])
        records = [e["record"] for e in warning["evidence"]]
        expected.setdefault(effect["record"], []).append(
            "%s warning about %s: %s; evidence: %s" % (
                cheat, player, line,
                "records " + ", ".join(map(str, records)) if records else "none"))
        for i, record in enumerate(records):
            expected.setdefault(record, []).append(
                "evidence %d of %d for the %s warning about %s at record %d"
                % (i + 1, len(records), cheat, player, effect["record"]))
    return expected, spectated


def main():
    arguments = sys.argv[1:]
    options = []
    if "--" in arguments:
        options = arguments[arguments.index("--") + 1:]
        arguments = arguments[:arguments.index("--")]
    kind, tool, capture = arguments[:3]
    if shutil.which("tshark") is None:
        print("skipped: no tshark (Debian's package tshark) on this machine")
        return 77
    run = [tool]
    work = tempfile.mkdtemp()
    annotated = os.path.join(work, "annotated.pcapng")
    given_capture, given_annotated = capture, annotated
    if kind == "wine":
        if subprocess.run([arguments[3]]).returncode != 0:
            print("skipped: Wine does not start on this machine")
            return 77
        os.environ.update(WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        os.environ.setdefault("WINEPREFIX", os.path.expanduser("~/.wine-norvi"))
        run = ["wine", tool]
        given_capture, given_annotated = "Z:" + capture, "Z:" + annotated
    try:
        done = subprocess.run([*run, "--summary", *options, "--annotate", given_annotated,
                               given_capture],
                              capture_output=True)
        if done.returncode != 0:
            print("the tool failed (%d): %s" % (done.returncode, done.stderr.decode()))
            return 1
        transcript = done.stdout.decode("utf-8")
        failures = []

        (fields_in, dump_in), (fields_out, dump_out) = frames(capture), frames(annotated)
        if len(fields_out) != len(fields_in):
            failures.append("%d frames written of %d" % (len(fields_out), len(fields_in)))
        for before, after in zip(fields_in, fields_out):
            if before != after:
                failures.append("frame differs: %r, was %r" % (after, before))
        if dump_in != dump_out:
            failures.append("the frames' bytes differ")

        found = comments(annotated)
        expected, spectated = expected_comments(transcript)
        for record in sorted(set(expected) | set(found)):
            have = sorted(c for c in found.get(record, [])
                          if not c.startswith("spectate target "))
            if have != sorted(expected.get(record, [])):
                failures.append("frame %d has %r, not %r"
                                % (record, have, sorted(expected.get(record, []))))
        shown = " ".join(c for have in found.values() for c in have
                         if c.startswith("spectate target set: "))
        for player in spectated:
            if ("[%d]" % player) not in shown:
                failures.append("no comment says player %d is spectated" % player)

        warnings = sum(1 for text in transcript.splitlines() if '"warning"' in text)
        print("%s: %d frames, %d warnings, %d frames commented"
              % (os.path.basename(capture), len(fields_in), warnings, len(found)))
        for failure in failures[:20]:
            print("FAILED:", failure)
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
