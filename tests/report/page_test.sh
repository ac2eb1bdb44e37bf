#!/usr/bin/env bash
# The report page in Debian's Chromium (page_test.mjs) on every session the
# tests have: the example capture and traces, the test captures, a capture
# whose players are named with markup, and the docs' hour-long session.
#
#   page_test.sh NORVI_REPLAY CAPTURE_GEN SOURCE_DIR
#
# Exits 77 (skipped) where Chromium cannot start.
set -euo pipefail
tool=$1 gen=$2 src=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

chromium=${CHROMIUM:-/usr/bin/chromium}
if [ ! -x "$chromium" ]; then
    echo "skipped: no Chromium at $chromium (scripts/install-deps.sh installs Debian's)"
    exit 77
fi
"$gen" markup "$work/markup.pcapng"
python3 "$src/scripts/gen-session.py" "$work/hour.jsonl"
PAGE_MODULES="$src/tools/replay/page/node_modules" CHROMIUM="$chromium" \
    node "$src/tests/report/page_test.mjs" "$tool" "$work/pages" \
    "markup:$work/markup.pcapng" "$src"/examples/*.pcapng "$src"/tests/captures/*.pcap* \
    "$src"/examples/*.jsonl "$work/hour.jsonl"
