#!/usr/bin/env python3
"""Writes a made-up hour of play as a norvi-replay trace: the session the
admin's walk-through in docs/replay.md runs on.

    scripts/gen-session.py [--minutes M] [--seed S] [--hourly] OUT

Twelve players send a sync packet every 200 ms; a frame runs after every
round. Player 17 (Sergey_Bystrov) runs a sprint hook three times: at
minute 12 for a minute, at minute 31 for 20 seconds and at minute 47 for a
minute and a half. Player 23 (Dima_Sokol) sprints fast from minute 18 to
26 but jumps every two seconds, so his runs stop at three packets, short of
a warning; player 41 (Anya_Lis) sprints fast all along and jumps every
second, which keeps her clear. The local player spectates player 5 for the
first ten minutes, player 17 from minute 10 to 15 and from 45 to 50, and
player 23 from minute 20 to 23.
The same seed gives the same trace. OUT may be - for standard output.
With --hourly and more than 60 minutes, every hour is played like the first.
"""
import argparse
import json
import random
import sys

ROUND_MS = 200
PLAYERS = {
    3: ("Ivan_Petrov", "FF2B8CFF"),
    5: ("Vasya_Pupkin", "FFE0C020"),
    8: ("Olga_Smirnova", "FF20C0E0"),
    12: ("Pavel_Orlov", "FFFFFFFF"),
    17: ("Sergey_Bystrov", "FFFF8000"),
    21: ("Kolya_Zaitsev", "FF80FF80"),
    23: ("Dima_Sokol", "FFC080FF"),
    30: ("Lena_Volkova", "FFFF80C0"),
    34: ("Artem_Kuznetsov", "FF8080FF"),
    41: ("Anya_Lis", "FFFFC040"),
    47: ("Misha_Belov", "FF40FFC0"),
    52: ("Roma_Krylov", "FFC0C0C0"),
}
SPRINT, JUMP, FIRE, AIM = 0x08, 0x20, 0x04, 0x80
HOOK_MINUTES = [(12, 13), (31, 31 + 1 / 3), (47, 48.5)]
SPECTATE = [(0, 10, 5), (10, 15, 17), (20, 23, 23), (45, 50, 17)]


def sync_of(rng, player, minute, round_no):
    """One player's packet for this round, as a compact sync event."""
    sync = {"player": player}
    if player == 17 and any(a <= minute < b for a, b in HOOK_MINUTES):
        sync["keys"] = SPRINT
        speed = rng.uniform(0.17, 0.2)  # 17 to 20: above 14.9
        sync["animation"] = [1228, 32770]
    elif player == 23 and 18 <= minute < 26:
        sync["keys"] = SPRINT | (JUMP if round_no % 10 == 0 else 0)
        speed = rng.uniform(0.16, 0.18)
    elif player == 41:
        sync["keys"] = SPRINT | (JUMP if round_no % 5 == 0 else 0)
        speed = rng.uniform(0.15, 0.17)
    else:
        keys = 0
        if rng.random() < 0.3:
            keys |= SPRINT
        if rng.random() < 0.05:
            keys |= JUMP
        if rng.random() < 0.1:
            keys |= AIM | (FIRE if rng.random() < 0.5 else 0)
        sync["keys"] = keys
        speed = rng.uniform(0.05, 0.13) if keys & SPRINT else rng.uniform(0, 0.06)
    if speed > 0:
        sync["velocity"] = [round(speed, 4), 0, 0]
    return {"sync": sync}


def spectated_at(minute):
    for a, b, player in SPECTATE:
        if a <= minute < b:
            return player
    return None


def write_session(out, minutes, seed, hourly=False):
    rng = random.Random(seed)
    line = lambda event: out.write(json.dumps(event, ensure_ascii=False) + "\n")
    out.write("# A made-up hour of play for the admin's walk-through (scripts/gen-session.py).\n")
    for player, (name, colour) in PLAYERS.items():
        line({"player": player, "name": name, "color": colour})
    line({"frame": 1})
    target = None
    for round_no in range(int(minutes * 60000 / ROUND_MS)):
        minute = round_no * ROUND_MS / 60000
        if hourly:
            minute %= 60
        want = spectated_at(minute)
        if want != target:
            line({"spectate": want})
            target = want
        for player in PLAYERS:
            line(sync_of(rng, player, minute, round_no))
        line({"frame": 1})
        line({"advance": ROUND_MS})


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--minutes", type=float, default=60)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--hourly", action="store_true",
                        help="play the hour's cast again every hour (for sessions of many hours)")
    parser.add_argument("out")
    args = parser.parse_args()
    if args.out == "-":
        write_session(sys.stdout, args.minutes, args.seed, args.hourly)
    else:
        with open(args.out, "w", encoding="utf-8", newline="\n") as out:
            write_session(out, args.minutes, args.seed, args.hourly)


if __name__ == "__main__":
    main()
