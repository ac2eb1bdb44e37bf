#!/usr/bin/env bash
# A capture piped into the tool that stays open, as from a capture program
# still running: the warning must be on standard output while the tool
# waits for more, and Ctrl-C (SIGINT; under Wine, the console's Ctrl-C)
# must then end the run with its summary, the exit status of a warned
# session with --fail-on-warning (3), the annotated capture holding every
# record read, and no temporary game folder left.
#
#   pipe_ctrl_c.sh native NORVI_REPLAY SESSION.pcapng
#   pipe_ctrl_c.sh wine NORVI_REPLAY.EXE SESSION.pcapng WINE_PROBE
#
# Exits 77 (skipped) where Wine cannot start.
set -uo pipefail
kind=$1 tool=$2 session=$3
work=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null; kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

annotated=$work/annotated.pcapng
case $kind in
native)
    run=("$tool")
    annotate=$annotated
    export TMPDIR="$work/tmp"
    mkdir -p "$TMPDIR"
    temporary=$TMPDIR ;;
wine)
    "$4" || { echo "skipped: Wine does not start on this machine"; exit 77; }
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-norvi}
    run=(wine "$tool")
    annotate=Z:$annotated
    # The Windows temporary folder, where the Windows tool makes its own.
    temporary=$(wine winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')" | tr -d '\r') ;;
*)
    echo "usage: pipe_ctrl_c.sh native|wine TOOL SESSION.pcapng [WINE_PROBE]" >&2
    exit 2 ;;
esac
folders() { find "$temporary" -maxdepth 1 -name 'norvi-replay-*' 2>/dev/null | sort; }
before=$(folders)

# Everything but the capture's last 200 bytes: the warning's record is in
# it, the rest is still to come when Ctrl-C arrives. Job control on, so
# that the tool does not start with SIGINT ignored, as a script's
# background jobs otherwise do.
mkfifo "$work/pipe"
set -m
"${run[@]}" --format text --color never --fail-on-warning --annotate "$annotate" - <"$work/pipe" \
    >"$work/out" 2>"$work/err" &
tool_pid=$!
set +m
exec 3>"$work/pipe"
size=$(stat -c %s "$session")
head -c $((size - 200)) "$session" >&3

status=0
fail() { echo "FAILED: $*"; status=1; }
seen=no
for _ in $(seq 300); do
    grep -q SprintHook "$work/out" && { seen=yes; break; }
    sleep 0.1
done
[ "$seen" = yes ] || fail "no warning on standard output while the tool waited for more"
grep -q "^summary$" "$work/out" && fail "the summary came before the stream ended"

kill -INT $tool_pid
for _ in $(seq 100); do kill -0 $tool_pid 2>/dev/null || break; sleep 0.1; done
wait $tool_pid
rc=$?
exec 3>&-

[ $rc -eq 3 ] || fail "exit status $rc after Ctrl-C, not 3 (--fail-on-warning after a warning): $(cat "$work/err")"
grep -q "^summary$" "$work/out" || fail "no summary after Ctrl-C"
grep -q "stopped after record [0-9]*, as asked (Ctrl-C)" "$work/err" ||
    fail "no word of the stop on standard error: $(cat "$work/err")"
stopped=$(grep -o "stopped after record [0-9]*" "$work/err" | grep -o "[0-9]*$")
if command -v tshark >/dev/null; then
    written=$(tshark -r "$annotated" -T fields -e frame.number 2>/dev/null | wc -l)
    [ "$written" = "$stopped" ] ||
        fail "the annotated capture holds $written records, not the $stopped read"
fi
grep -aq "SprintHook warning about" "$annotated" || fail "the annotated capture has no warning"
[ "$(folders)" = "$before" ] || fail "a temporary game folder was left in $temporary: $(folders)"
echo "$kind: warning while waiting: $seen; after Ctrl-C: status $rc, $(grep -o "stopped after record [0-9]*" "$work/err")"
[ $status -eq 0 ] && echo "passed"
exit $status
