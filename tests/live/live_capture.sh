#!/usr/bin/env bash
# A live game seen through a real capture program: a session's datagrams are
# sent again on the loopback interface at their recorded pace while one of
#   tcpdump -i lo -U -w - udp port 7777 | norvi-replay -
#   dumpcap -i lo -f "udp port 7777" -w - | norvi-replay -
# runs (tcpdump writes pcap, dumpcap pcapng, as on Windows). Checks that the
# warning is out while the sender is still sending, that the live
# transcript is byte for byte the one of the same capture read as a file
# afterwards, and that SIGINT then ends the run with its summary.
#
#   live_capture.sh NORVI_REPLAY SESSION.pcapng tcpdump|dumpcap [loose]
#
# With "loose" the capture takes all UDP (as a user who does not know the
# server's port would), and a voice-like call between two other ports runs
# from 11 s before the session until after it: the tool must say once that
# it is still waiting, then find the game when it comes.
#
# Exits 77 (skipped) where the program cannot capture (it needs root).
set -uo pipefail
tool=$1 session=$2 program=$3 loose=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

filter="udp port 7777"
[ "$loose" = loose ] && filter=udp
case $program in
tcpdump)
    capture=(tcpdump -i lo -U -w - $filter)
    probe=(tcpdump -i lo -c 1 -w /dev/null udp port 1)
    listening="listening on" ;;
dumpcap)
    capture=(dumpcap -i lo -f "$filter" -w -)
    probe=(dumpcap -i lo -c 1 -f "udp port 1" -w /dev/null)
    listening="Capturing on" ;;
*)
    echo "usage: live_capture.sh NORVI_REPLAY SESSION.pcapng tcpdump|dumpcap [loose]" >&2
    exit 2 ;;
esac
if ! command -v "$program" >/dev/null || ! command -v editcap >/dev/null; then
    echo "skipped: $program or editcap is not installed (scripts/install-deps.sh installs both)"
    exit 77
fi
timeout 5 "${probe[@]}" 2>"$work/probe" &
for _ in $(seq 20); do grep -q "$listening" "$work/probe" && break; sleep 0.1; done
if ! grep -q "$listening" "$work/probe"; then
    echo "skipped: $program cannot capture on the loopback interface here: $(tail -n 1 "$work/probe")"
    exit 77
fi
kill %1 2>/dev/null
wait
editcap -F pcap "$session" "$work/session.pcap"

# The capture is kept as it streams (tee), to be read again as a file. Job
# control on, so that the pipeline does not start with SIGINT ignored, as a
# script's background jobs otherwise do.
set -m
"${capture[@]}" 2>"$work/capture.err" | tee "$work/live.capture" |
    sh -c 'echo $$ >"$1/tool.pid"; exec "$2" --format text --color never -' sh "$work" "$tool" \
        >"$work/live.out" 2>"$work/live.err" &
set +m # the pipeline keeps its own process group; no job notices
for _ in $(seq 50); do grep -q "$listening" "$work/capture.err" && break; sleep 0.1; done
sleep 1 # the program says it listens a moment before it sees every packet
tool_pid=$(cat "$work/tool.pid")

if [ "$loose" = loose ]; then
    # 50 datagrams a second each way between ports 40000 and 40002 until
    # killed; the tool must tell after 10 s of it that it is still waiting.
    python3 -c '
import socket, time
a = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); a.bind(("127.0.0.1", 40000))
b = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); b.bind(("127.0.0.1", 40002))
n = 0
while True:
    a.sendto(bytes([0x80, 0, n >> 8 & 255, n & 255]) + bytes(168), ("127.0.0.1", 40002))
    b.sendto(bytes([0x80, 0, n >> 8 & 255, n & 255]) + bytes(168), ("127.0.0.1", 40000))
    n += 1
    time.sleep(0.02)
' &
    voice=$!
    sleep 10
    told=no # while it waits, before the game has begun
    for _ in $(seq 50); do
        grep -q "no game server.s traffic in the first 10 s" "$work/live.err" && { told=yes; break; }
        sleep 0.1
    done
fi
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
# (dumpcap writes each packet to a pipe as it comes.)
sleep 2
[ "$loose" = loose ] && kill "$voice"
kill -INT "$tool_pid"
for _ in $(seq 100); do kill -0 "$tool_pid" 2>/dev/null || break; sleep 0.05; done
kill -INT $(jobs -p) 2>/dev/null # the capture program, which goes on until told
wait

status=0
fail() { echo "FAILED: $*"; status=1; }
if [ "$loose" = loose ]; then
    [ "$told" = yes ] || fail "no word on standard error after 10 s without the game"
    [ "$(grep -c "no game server.s traffic in the first 10 s" "$work/live.err")" = 1 ] ||
        fail "the wait was not told once: $(cat "$work/live.err")"
fi
[ "$early" = yes ] || fail "the warning was not out while the sender was still sending"
grep -q "^summary$" "$work/live.out" || fail "no summary after SIGINT"
grep -q "stopped after record .*, as asked (Ctrl-C)" "$work/live.err" ||
    fail "no word of the stop on standard error: $(cat "$work/live.err")"
"$tool" --format text --color never "$work/live.capture" >"$work/file.out" 2>"$work/file.err"
cmp -s "$work/live.out" "$work/file.out" ||
    fail "the live transcript differs from the file's: $(diff "$work/live.out" "$work/file.out" | head -5)"
echo "sender: $(tail -n 1 "$work/sender.out"); $program: $(grep -o "[0-9]* packets captured\|Packets captured: [0-9]*" "$work/capture.err"); norvi-replay: $(grep -o "stopped after record [0-9]*" "$work/live.err")"
echo "warning while sending: $early; live and file transcripts: $(cmp -s "$work/live.out" "$work/file.out" && echo same || echo different)"
[ $status -eq 0 ] && echo "passed"
exit $status
