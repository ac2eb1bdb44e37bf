#!/usr/bin/env bash
# The benchmark command: builds the plugin, the stand-in host and the
# benchmarks in a native Release build (build/bench), then measures
#   1. the hooks, the floor and the allocations per call (Google Benchmark,
#      nine repetitions interleaved at random, medians),
#   2. instructions per player-sync packet under callgrind
#      (scripts/bench-callgrind.sh),
#   3. norvi-replay's throughput on a generated trace of 1,000,000 sync
#      events (scripts/gen-trace.py), when the tool is part of the build,
# and prints the figures with their ratios against the targets; the same
# summary lands in build/bench/summary.md.
#
#   scripts/bench.sh [--quick]
#
# --quick: one short repetition and a small callgrind batch, for trying the
# command out; its figures are not the ones to report.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
[ "${1:-}" = "--quick" ] && quick=true

scripts/install-deps.sh
command -v valgrind >/dev/null || { echo "error: valgrind is not installed" >&2; exit 1; }

build=build/bench
# -g only adds line tables for callgrind's annotation; the code is Release's.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g \
    -DNORVI_TESTS=OFF >/dev/null
cmake --build "$build"

if $quick; then
    bench_args=(--benchmark_min_time=0.05)
    rounds=1
    replay_events=100000
else
    # Repetitions interleaved at random, so that a change in the machine's
    # load during the run falls on every benchmark alike.
    bench_args=(--benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
        --benchmark_report_aggregates_only=true)
    rounds=4
    replay_events=1000000
fi

echo
echo "== hooks, floor and allocations per call"
"$build/bin/norvi_bench" "${bench_args[@]}" \
    --benchmark_out="$build/hooks.json" --benchmark_out_format=json

echo
echo "== instructions per player-sync packet (callgrind)"
scripts/bench-callgrind.sh "$build" "$rounds" | tee "$build/callgrind.txt"

replay=$build/bin/norvi-replay
: >"$build/replay.txt"
if [ -x "$replay" ]; then
    echo
    echo "== norvi-replay on $replay_events sync events"
    trace=$build/trace-$replay_events.jsonl
    [ -s "$trace" ] || scripts/gen-trace.py --events "$replay_events" "$trace"
    # Best of three, each end to end: start, parse and validate the whole
    # trace, run it through the plugin, write the transcript.
    best=
    for run in 1 2 3; do
        start=$(date +%s.%N)
        "$replay" "$trace" >"$build/replay-transcript.jsonl"
        end=$(date +%s.%N)
        seconds=$(python3 -c "print(f'{$end - $start:.3f}')")
        echo "run $run: ${seconds} s"
        if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $seconds < $best else 1)"; then
            best=$seconds
        fi
    done
    lines=$(grep -cv '^\s*\(#.*\)\?$' "$trace")
    echo "events $replay_events sync, $lines in all; best ${best} s" | tee "$build/replay.txt"
    # Where the time goes: callgrind on a tenth of the trace.
    small=$build/trace-$((replay_events / 10)).jsonl
    [ -s "$small" ] || scripts/gen-trace.py --events $((replay_events / 10)) "$small"
    valgrind --tool=callgrind --callgrind-out-file="$build/callgrind/replay.out" \
        "$replay" "$small" >/dev/null 2>"$build/callgrind/replay-valgrind.txt"
    callgrind_annotate --inclusive=yes "$build/callgrind/replay.out" \
        >"$build/callgrind/replay-annotated.txt"
    echo "replay profile: $build/callgrind/replay-annotated.txt"
else
    echo
    echo "== norvi-replay is not part of this build: its throughput is not measured"
fi

echo
python3 - "$build" <<'PY' | tee "$build/summary.md"
import json, re, sys, os
build = sys.argv[1]
results = json.load(open(f"{build}/hooks.json"))
rows = {}
for b in results["benchmarks"]:
    if b.get("error_occurred"):
        rows[b.get("run_name", b["name"])] = {"error": b.get("error_message", "error")}
        continue
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
        continue
    name = b.get("run_name", b["name"])
    rows[name] = {"ns": b["cpu_time"], "allocs": b.get("allocs/call", float("nan"))}

ctx = results["context"]
cpu = "unknown"
for line in open("/proc/cpuinfo"):
    if line.startswith("model name"):
        cpu = line.split(":", 1)[1].strip()
        break
print(f"Machine: {cpu}, {os.cpu_count()} cores (nproc), "
      f"{ctx.get('mhz_per_cpu', '?')} MHz; load average at start "
      f"{', '.join(f'{x:.2f}' for x in ctx.get('load_avg', []))}.")
print()
# In the order the benchmarks are declared, whatever order they ran in.
order = ["SyncPacketHook", "SyncPacketFloor", "PacketDelivery/sync", "OtherPacketHook",
         "PacketDelivery/other", "RpcHook/126", "RpcHook/124", "RpcHook/other", "RenderVisible",
         "RenderVisibleFloor", "RenderEmpty", "MainLoop"]
rows = dict(sorted(rows.items(), key=lambda kv: order.index(kv[0]) if kv[0] in order else 99))
print("| benchmark | ns per call (median) | heap allocations per call |")
print("|---|---|---|")
for name, r in rows.items():
    if "error" in r:
        print(f"| {name} | not run: {r['error']} | |")
    else:
        print(f"| {name} | {r['ns']:.2f} | {r['allocs']:g} |")
print()

def ns(name):
    r = rows.get(name)
    return r["ns"] if r and "ns" in r else None

hook, floor, delivery = ns("SyncPacketHook"), ns("SyncPacketFloor"), ns("PacketDelivery/sync")
other, other_delivery = ns("OtherPacketHook"), ns("PacketDelivery/other")
if hook and floor:
    print(f"- Sync-packet hook / floor: {hook / floor:.2f} (target at most 1.5)")
    if delivery:
        print(f"- The same without the host's delivery, which both pay: "
              f"({hook:.1f} - {delivery:.1f}) / ({floor:.1f} - {delivery:.1f}) = "
              f"{(hook - delivery) / (floor - delivery):.2f}")
cg = open(f"{build}/callgrind.txt").read()
m_other = re.search(r"other packets, hook's own:\s+([-+\d.]+)", cg)
if other:
    extra = f" (a hook that returns at once: {other_delivery:.2f} ns)" if other_delivery else ""
    own = f"; the hook's own instructions per packet: {float(m_other.group(1)):.0f}" if m_other else ""
    print(f"- Packet of another identifier: {other:.2f} ns per packet with the host's delivery"
          f"{extra}{own} (target: a few ns)")
render, render_floor = ns("RenderVisible"), ns("RenderVisibleFloor")
if render and render_floor:
    print(f"- Visible render pass / the host calls it must make: {render / render_floor:.2f}")
allocs = [(n, r["allocs"]) for n, r in rows.items() if "allocs" in r]
nonzero = [n for n, a in allocs if a != 0]
print(f"- Heap allocations per call: " + ("0 on every benchmark" if not nonzero else
      "NOT 0 on " + ", ".join(nonzero)) + " (target 0)")

m_hook = re.search(r"sync hook, instructions/pkt:\s+([\d.]+)", cg)
m_floor = re.search(r"floor, instructions/pkt:\s+([\d.]+)", cg)
if m_hook and m_floor:
    h, f = float(m_hook.group(1)), float(m_floor.group(1))
    print(f"- Instructions per sync packet: hook {h:.1f}, floor {f:.1f}, "
          f"difference {h - f:+.1f} (target at most +40)")

rp = open(f"{build}/replay.txt").read()
m = re.search(r"events (\d+) sync, (\d+) in all; best ([\d.]+) s", rp)
if m:
    events, lines, seconds = int(m.group(1)), int(m.group(2)), float(m.group(3))
    print(f"- norvi-replay: {events} sync events ({lines} events in all) in {seconds:.2f} s: "
          f"{events / seconds:,.0f} sync events per second, {lines / seconds:,.0f} events per "
          f"second (target at least 1,000,000 sync events per second)")
else:
    print("- norvi-replay: not measured (the tool is not part of this build)")
PY
