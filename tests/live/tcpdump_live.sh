#!/usr/bin/env bash
# A live game seen through a real tcpdump: a session's datagrams are sent
# again on the loopback interface at their recorded pace while
#   tcpdump -i lo -U -w - udp port 7777 | norvi-replay -
# runs. Checks that the warning is out while the sender is still sending,
# that the live transcript is byte for byte the one of the same capture read
# as a file afterwards, and that SIGINT then ends the run with its summary.
#
#   tcpdump_live.sh NORVI_REPLAY SESSION.pcapng
#
# Exits 77 (skipped) where tcpdump cannot capture (it needs root).
set -uo pipefail
tool=$1 session=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

if ! command -v tcpdump >/dev/null || ! command -v editcap >/dev/null; then
    echo "skipped: tcpdump or editcap is not installed (scripts/install-deps.sh installs both)"
    exit 77
fi
timeout 5 tcpdump -i lo -c 1 -w /dev/null udp port 1 2>"$work/probe" &
for _ in $(seq 20); do grep -q "listening on" "$work/probe" && break; sleep 0.1; done
if ! grep -q "listening on" "$work/probe"; then
    echo "skipped: tcpdump cannot capture on the loopback interface here: $(tail -n 1 "$work/probe")"
    exit 77
fi
kill %1 2>/dev/null
wait
editcap -F pcap "$session" "$work/session.pcap"

# The capture is kept as it streams (tee), to be read again as a file. Job
# control on, so that the pipeline does not start with SIGINT ignored, as a
# script's background jobs otherwise do.
set -m
tcpdump -i lo -U -w - udp port 7777 2>"$work/tcpdump.err" | tee "$work/live.pcap" |
    sh -c 'echo $$ >"$1/tool.pid"; exec "$2" --format text --color never -' sh "$work" "$tool" \
        >"$work/live.out" 2>"$work/live.err" &
for _ in $(seq 50); do grep -q "listening on" "$work/tcpdump.err" && break; sleep 0.1; done
sleep 1 # tcpdump says it listens a moment before it sees every packet
tool_pid=$(cat "$work/tool.pid")

python3 "$here/send_capture.py" "$work/session.pcap" 7777 51234 >"$work/sender.out" &
sender=$!
early=no
while kill -0 $sender 2>/dev/null; do
    grep -q SprintHook "$work/live.out" && { early=yes; break; }
    sleep 0.05
done
wait $sender
# Without --immediate-mode, tcpdump hands packets on in blocks, at the
# latest after its buffer timeout (a second or so): wait for the last ones.
sleep 2
kill -INT "$tool_pid"
for _ in $(seq 100); do kill -0 "$tool_pid" 2>/dev/null || break; sleep 0.05; done
kill -INT $(jobs -p) 2>/dev/null # tcpdump, which goes on until told
wait

status=0
fail() { echo "FAILED: $*"; status=1; }
[ "$early" = yes ] || fail "the warning was not out while the sender was still sending"
grep -q "^summary$" "$work/live.out" || fail "no summary after SIGINT"
grep -q "stopped after record .*, as asked (Ctrl-C)" "$work/live.err" ||
    fail "no word of the stop on standard error: $(cat "$work/live.err")"
"$tool" --format text --color never "$work/live.pcap" >"$work/file.out" 2>"$work/file.err"
cmp -s "$work/live.out" "$work/file.out" ||
    fail "the live transcript differs from the file's: $(diff "$work/live.out" "$work/file.out" | head -5)"
echo "sender: $(tail -n 1 "$work/sender.out"); tcpdump: $(grep captured "$work/tcpdump.err"); norvi-replay: $(grep -o "stopped after record [0-9]*" "$work/live.err")"
echo "warning while sending: $early; live and file transcripts: $(cmp -s "$work/live.out" "$work/file.out" && echo same || echo different)"
[ $status -eq 0 ] && echo "passed"
exit $status
