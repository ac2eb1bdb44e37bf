#!/usr/bin/env python3
"""Writes a norvi-replay trace of many player-sync events, for measuring the
replay tool's throughput (scripts/bench.sh) on a day's worth of traffic.

    scripts/gen-trace.py [--events N] [--seed S] OUT

The trace starts the plugin (one frame), names a few players, spectates
player 7, and then relays N sync events [1000000] of 64 players in turn, with
the clock moving 20 ms after every round of players and a frame after every
round, as a server relays them. Players 3 and 40 run with the sprint-hook
pattern now and then, so warnings are posted and held off as in play. The
same seed gives the same trace. OUT may be - for standard output.
"""
import argparse
import json
import math
import random
import sys

PLAYERS = 64
SPECTATED = 7
CHEATERS = (3, 40)
SPRINT, JUMP = 0x08, 0x20


def sync_event(rng, player, cheating):
    """One sync event: moving or standing, with or without the optional blocks."""
    sync = {"player": player}
    heading = rng.uniform(0, 2 * math.pi)
    if cheating:
        speed = rng.uniform(0.155, 0.2)  # above the detection's 14.9 (times 100)
        sync["keys"] = SPRINT | (rng.getrandbits(16) & ~JUMP & 0xFFFF)
        sync["animation"] = rng.choice([[1228, 32770], [0, 0]])
        sync["upDown"] = 65408
    else:
        moving = rng.random() < 0.75
        speed = rng.uniform(0.01, 0.14) if moving else 0.0
        sync["keys"] = rng.getrandbits(16) & ~JUMP & 0xFFFF
        if rng.random() < 0.05:
            sync["keys"] |= JUMP
        if moving and rng.random() < 0.4:
            sync["leftRight"] = rng.getrandbits(16)
        if moving and rng.random() < 0.6:
            sync["upDown"] = rng.getrandbits(16)
        if rng.random() < 0.7:
            sync["animation"] = rng.choice([[1189, 32769], [1231, 32770], [0, 0]])
        if rng.random() < 0.05:
            sync["surf"] = {"vehicle": rng.randrange(2000), "offset": [1.5, -0.25, 0.75]}
    sync["position"] = [round(rng.uniform(-3000, 3000), 3) for _ in range(3)]
    # A unit quaternion turned about the vertical axis.
    half = rng.uniform(-math.pi, math.pi) / 2
    sync["quaternion"] = [round(math.cos(half), 6), 0, 0, round(math.sin(half), 6)]
    sync["health"] = rng.randrange(7, 101)
    sync["armour"] = rng.choice([0, 0, 0, 50, 100])
    sync["velocity"] = [round(speed * math.cos(heading), 6), round(speed * math.sin(heading), 6),
                        0]
    return {"sync": sync}


def write_trace(out, events, seed):
    rng = random.Random(seed)
    line = lambda event: out.write(json.dumps(event, separators=(",", ":")) + "\n")
    out.write(f"# {events} player-sync events of {PLAYERS} players, seed {seed} "
              "(scripts/gen-trace.py)\n")
    for player, name in ((3, "Speedy"), (7, "Watched"), (40, "Runner")):
        line({"player": player, "name": name, "color": "FFFF8000"})
    line({"frame": 1})
    line({"spectate": SPECTATED})
    written = 0
    round_number = 0
    while written < events:
        # A cheater sprints with the hook on for a few seconds every minute.
        cheating = round_number % 3000 < 150
        for player in range(PLAYERS):
            if written == events:
                break
            line(sync_event(rng, player, cheating and player in CHEATERS))
            written += 1
        line({"advance": 20})
        line({"frame": 1})
        round_number += 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out", metavar="OUT", help="the trace file to write, or - for stdout")
    parser.add_argument("--events", type=int, default=1_000_000,
                        help="player-sync events to write [1000000]")
    parser.add_argument("--seed", type=int, default=2026, help="random seed [2026]")
    args = parser.parse_args()
    if args.events < 0:
        parser.error("--events must be 0 or more")
    if args.out == "-":
        write_trace(sys.stdout, args.events, args.seed)
    else:
        with open(args.out, "w", encoding="utf-8") as out:
            write_trace(out, args.events, args.seed)


if __name__ == "__main__":
    main()
