#!/usr/bin/env bash
# What replaying a generated capture costs against the plugin's own packet
# hook, both measured in the same run, turn about. Each round times the
# hook's benchmark (SyncPacketHook, the median of three repetitions), then
# norvi-replay on a capture of N player-sync packets (its CPU time, user +
# system, start to end, transcript to /dev/null; the median of three runs),
# then the hook again, and divides the tool's time by the hook's for as
# many packets (the mean of the two medians x N): the machine's load, which
# changes from minute to minute here, then falls on both alike. The same with --summary, which
# has every packet judged as it comes, is shown beside it.
#
#   scripts/bench-capture-ratio.sh [BUILD_DIR] [ROUNDS] [PACKETS]
#
# BUILD_DIR holds a native Release build with the benchmarks and the tool
# [build/bench]; the capture comes from capture-gen of the tests' native
# build (build/native). ROUNDS [5], PACKETS [1000000]. The last line gives
# the median ratio of the rounds; the target is at most 1.3.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/bench}
rounds=${2:-5}
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
# time, as bash's own `time` gives them: the median of three runs, as a
# single run of a fifth of a second is at the mercy of the machine's
# moment as much as the hook's repetitions are.
cpu_of() {
    local TIMEFORMAT='%3U %3S %3R' user sys real runs=()
    for _ in 1 2 3; do
        read -r user sys real < <({ time "$@" >/dev/null; } 2>&1)
        runs+=("$(python3 -c "print(f'{$user + $sys:.3f}')") $real")
    done
    printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p
}
# The hook's median time a packet, in ns.
hook_ns() {
    "$bench" --benchmark_filter='^SyncPacketHook$' --benchmark_repetitions=3 \
        --benchmark_min_time=0.2 --benchmark_report_aggregates_only=true \
        --benchmark_format=json >"$build/hook-round.json"
    python3 -c '
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        print(round(b["cpu_time"], 2))' "$build/hook-round.json"
}

ratios=()
for round in $(seq "$rounds"); do
    before=$(hook_ns)
    read -r cpu wall < <(cpu_of "$replay" "$capture")
    read -r cpu_all wall_all < <(cpu_of "$replay" --summary "$capture")
    after=$(hook_ns)
    hook_s=$(python3 -c "print(($before + $after) / 2 * $packets * 1e-9)")
    ratio=$(python3 -c "print(f'{$cpu / $hook_s:.2f}')")
    ratio_all=$(python3 -c "print(f'{$cpu_all / $hook_s:.2f}')")
    echo "round $round: hook $before and $after ns a packet; norvi-replay $cpu s CPU" \
        "($wall s wall): $ratio x the hook; with --summary $cpu_all s CPU ($wall_all s wall):" \
        "$ratio_all x"
    ratios+=("$ratio")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
echo "capture replay / hook, median of $rounds rounds: $median (target at most 1.3)"
