#!/usr/bin/env bash
# The report page in Debian's Chromium (page_test.mjs) on every session the
# tests have: the example capture and traces, the test captures, a capture
# whose players are named with markup, and the docs' hour-long session;
# and the page of a live run ended by Ctrl-C.
#
#   page_test.sh NORVI_REPLAY CAPTURE_GEN SOURCE_DIR
#
# Exits 77 (skipped) where Chromium cannot start.
set -euo pipefail
tool=$1 gen=$2 src=$3
work=$(mktemp -d)
cleanup() {
    exec 3>&- 2>/dev/null
    kill $(jobs -p) 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

chromium=${CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
    echo "skipped: no Chromium at $chromium (scripts/install-deps.sh installs Debian's)"
    exit 77
fi
# A live run ended by Ctrl-C writes its page too: a capture piped in and
# held open, the warning seen, then SIGINT (job control on, so that the
# tool does not start with SIGINT ignored).
session=$src/examples/session.pcapng
mkfifo "$work/pipe"
set -m
"$tool" --report "$work/live.html" - <"$work/pipe" >"$work/live.out" 2>"$work/live.err" &
live=$!
set +m
exec 3>"$work/pipe"
head -c $(($(stat -c %s "$session") - 200)) "$session" >&3
for _ in $(seq 300); do
    grep -q SprintHook "$work/live.out" && break
    sleep 0.1
done
kill -INT $live
wait $live || { echo "FAILED: the live run ended with status $?: $(cat "$work/live.err")"; exit 1; }
exec 3>&-
if ! grep -q '"warning": {"player": 5' "$work/live.html"; then
    echo "FAILED: no page with the warning after Ctrl-C: $(cat "$work/live.err")"
    exit 1
fi
echo "ok: a live run ended by Ctrl-C wrote its page"

"$gen" markup "$work/markup.pcapng"
python3 "$src/scripts/gen-session.py" "$work/hour.jsonl"
PAGE_MODULES="$src/tools/replay/page/node_modules" CHROMIUM="$chromium" \
    node "$src/tests/report/page_test.mjs" "$tool" "$work/pages" \
    "markup:$work/markup.pcapng" "$src"/examples/*.pcapng "$src"/tests/captures/*.pcap* \
    "$src"/examples/*.jsonl "$work/hour.jsonl"
