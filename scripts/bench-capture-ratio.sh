#!/usr/bin/env bash
# What replaying a generated capture costs against the plugin's own packet
# hook, both measured in the same run, turn about: each round runs the
# hook's benchmark (SyncPacketHook, the median of five repetitions) and then
# norvi-replay on a capture of N player-sync packets, and divides the
# tool's CPU time (user + system, start to end, transcript to /dev/null;
# the best of three runs) by the hook's time for as many packets (the
# median x N). The same with --summary, which has every packet judged as
# it comes, is shown beside it.
#
#   scripts/bench-capture-ratio.sh [BUILD_DIR] [ROUNDS] [PACKETS]
#
# BUILD_DIR holds a native Release build with the benchmarks and the tool
# [build/bench]; the capture comes from capture-gen of the tests' native
# build (build/native). ROUNDS [3], PACKETS [1000000]. The last line gives
# the median ratio; the target is at most 1.3.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/bench}
rounds=${2:-3}
packets=${3:-1000000}
bench=$build/bin/norvi_bench
replay=$build/bin/norvi-replay
gen=build/native/bin/capture-gen
for program in "$bench" "$replay" "$gen"; do
    if [ ! -x "$program" ]; then
        echo "error: $program not found (scripts/bench.sh builds $build; capture-gen comes" \
            "with the tests' native build)" >&2
        exit 1
    fi
done

capture=$build/capture-$packets.pcap
[ -s "$capture" ] || "$gen" bench "$packets" "$capture"

# The tool's CPU time (user + system) to the millisecond and its wall
# time, as bash's own `time` gives them; the best of three runs, since the
# machine's load only ever adds.
cpu_of() {
    local TIMEFORMAT='%3U %3S %3R' user sys real
    read -r user sys real < <({ time "$@" >/dev/null; } 2>&1)
    echo "$(python3 -c "print(f'{$user + $sys:.3f}')") $real"
}
best_of() {
    for _ in 1 2 3; do cpu_of "$@"; done | sort -n | head -1
}

ratios=()
for round in $(seq "$rounds"); do
    "$bench" --benchmark_filter='^SyncPacketHook$' --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true --benchmark_format=json \
        >"$build/hook-round.json"
    hook_ns=$(python3 -c '
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        print(round(b["cpu_time"], 2))' "$build/hook-round.json")
    hook_s=$(python3 -c "print($hook_ns * $packets * 1e-9)")
    read -r cpu wall < <(best_of "$replay" "$capture")
    # For comparison: the same with every packet judged as it comes, as
    # --summary asks.
    read -r cpu_all wall_all < <(best_of "$replay" --summary "$capture")
    ratio=$(python3 -c "print(f'{$cpu / $hook_s:.2f}')")
    ratio_all=$(python3 -c "print(f'{$cpu_all / $hook_s:.2f}')")
    echo "round $round: hook $hook_ns ns a packet; norvi-replay $cpu s CPU ($wall s wall):" \
        "$ratio x the hook; with --summary $cpu_all s CPU ($wall_all s wall): $ratio_all x"
    ratios+=("$ratio")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
echo "capture replay / hook, median of $rounds rounds: $median (target at most 1.3)"
