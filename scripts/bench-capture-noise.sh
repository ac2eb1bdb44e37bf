#!/usr/bin/env bash
# Time and peak memory of norvi-replay on captures where the game is among
# other traffic, as a loose capture filter takes them:
#   flood   100,000 one-datagram flows in the 100 s before a session
#   voice   a voice call (50 datagrams a second each way) for 48 minutes
#           before a session of 1,000,000 sync packets (11 minutes) and all
#           through it: an hour of it
#   server  a capture taken on a server with 1,000 clients, 30 s of play
# The captures are made by capture-gen (a tests-side program of the native
# build), in a temporary folder, and removed afterwards.
#
#   scripts/bench-capture-noise.sh [BUILD_DIR]   (default build/native)
#
# Prints two lines per capture, read as a file and through a pipe: its
# size, the tool's wall and CPU time and its peak resident memory (GNU
# time's maximum resident set), then what the tool said on standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
gen=build/native/bin/capture-gen
tool=$build/bin/norvi-replay
for program in "$gen" "$tool" /usr/bin/time; do
    [ -x "$program" ] || { echo "error: $program is missing (build it first)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$gen" flood 100000 "$work/flood.pcap"
"$gen" voice 48 1000000 "$work/voice.pcap"
"$gen" server 1000 30 "$work/server.pcap"

for name in flood voice server; do
    file=$work/$name.pcap
    size=$(du -m "$file" | cut -f1)
    /usr/bin/time -o "$work/time" -f "%e s wall, %U s user, %S s system, peak %M KB" \
        "$tool" "$file" >/dev/null 2>"$work/err" || true
    echo "$name ($size MB), file: $(cat "$work/time")"
    sed 's/^/    /' "$work/err"
    # The same capture through a pipe, as a capture program streams it.
    cat "$file" | /usr/bin/time -o "$work/time" \
        -f "%e s wall, %U s user, %S s system, peak %M KB" "$tool" - >/dev/null 2>/dev/null || true
    echo "$name ($size MB), pipe: $(cat "$work/time")"
done
