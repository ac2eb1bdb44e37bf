#!/usr/bin/env bash
# The report page's size and cost: on the docs' hour-long session and on a
# generated day (the hour's cast every hour), the run with and without
# --report (best of three), the page's size, and how long the page takes
# to open in headless Chromium and to show a warning.
#
#   bench/report_bench.sh [NORVI_REPLAY] [WORKDIR]
#
# Goals: the hour's page under 5 MB and written in under 1 s beyond the
# run; the day's page open in a few seconds. Exits 1 if the hour misses
# either of its goals.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/native/bin/norvi-replay}
work=${2:-build/report-bench}
mkdir -p "$work"

[ -f "$work/hour.jsonl" ] || python3 scripts/gen-session.py "$work/hour.jsonl"
[ -f "$work/day.jsonl" ] || python3 scripts/gen-session.py --minutes 1440 --hourly "$work/day.jsonl"

best() { sort -n | head -n 1; }
seconds() { /usr/bin/time -f "%e" "$@" 2>&1 >/dev/null | tail -n 1; }
status=0
for session in hour day; do
    trace=$work/$session.jsonl
    page=$work/$session.html
    plain=$(for _ in 1 2 3; do seconds "$tool" "$trace"; done | best)
    with=$(for _ in 1 2 3; do seconds "$tool" --report "$page" "$trace"; done | best)
    size=$(stat -c %s "$page")
    extra=$(awk -v a="$with" -v b="$plain" 'BEGIN { printf "%.2f", a - b }')
    echo "$session: $(stat -c %s "$trace") bytes of trace; run $plain s, with --report $with s" \
        "(+$extra s); page $size bytes"
    node bench/report_open.mjs "$page" 3 | sed "s/^/$session page: /"
    if [ $session = hour ]; then
        [ "$size" -lt 5000000 ] || { echo "FAILED: the hour's page is $size bytes, not under 5 MB"; status=1; }
        awk -v e="$extra" 'BEGIN { exit !(e < 1) }' || { echo "FAILED: the page took $extra s, not under 1 s"; status=1; }
    fi
done
exit $status
