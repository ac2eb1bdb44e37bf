#!/usr/bin/env bash
# What replaying a generated capture costs against the plugin's own packet
# hook, both measured in the same run, turn about: each round runs the
# hook's benchmark (SyncPacketHook, the median of five repetitions) and then
# norvi-replay on a capture of N player-sync packets, and divides the
# tool's CPU time (user + system, start to end, transcript to /dev/null)
# by the hook's time for as many packets (the median x N).
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

ratios=()
for round in $(seq "$rounds"); do
    "$bench" --benchmark_filter='^SyncPacketHook$' --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true --benchmark_format=json \
        >"$build/hook-round.json"
    hook_ns=$(python3 -c '
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        print(b["cpu_time"])' "$build/hook-round.json")
    /usr/bin/time -f "%e %U %S" -o "$build/time.txt" "$replay" "$capture" >/dev/null
    read -r wall user sys <"$build/time.txt"
    ratio=$(python3 -c "print(f'{($user + $sys) / ($hook_ns * $packets * 1e-9):.2f}')")
    echo "round $round: hook $hook_ns ns a packet; norvi-replay $(python3 -c "print($user + $sys)") s" \
        "CPU ($wall s wall) for $packets packets: $ratio x the hook"
    ratios+=("$ratio")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
echo "capture replay / hook, median of $rounds rounds: $median (target at most 1.3)"
