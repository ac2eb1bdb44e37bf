#!/usr/bin/env bash
# Checks that scripts/gen-trace.py writes a trace that norvi-replay accepts
# and that does what it says: a small trace runs, the plugin starts, draws
# the spectated player's key column and warns about the scripted cheaters.
#
#   scripts/bench-trace-check.sh REPLAY_BINARY
#
# Exits 77 (skipped) when the tool is not built.
set -euo pipefail
cd "$(dirname "$0")/.."

replay=${1:?usage: scripts/bench-trace-check.sh REPLAY_BINARY}
if [ ! -x "$replay" ]; then
    echo "norvi-replay is not built ($replay): skipped"
    exit 77
fi

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
scripts/gen-trace.py --events 2000 "$dir/trace.jsonl"
"$replay" "$dir/trace.jsonl" >"$dir/transcript.jsonl"

fail() { echo "error: $*" >&2; exit 1; }
grep -q '"registered"' "$dir/transcript.jsonl" || fail "the plugin did not start"
grep -q '"draw"' "$dir/transcript.jsonl" || fail "the key column was never drawn"
warnings=$(grep -c 'SprintHook' "$dir/transcript.jsonl" || true)
[ "$warnings" -eq 2 ] || fail "expected one warning about each of the two cheaters, got $warnings"
echo "trace of 2000 sync events replayed: $warnings warnings"
