#!/usr/bin/env bash
# A long fuzzing run of each target, for the reliability figures:
#   scripts/fuzz-long.sh BUILD_DIR OUT_DIR [TARGET...]
# 10,000,000 executions of each target but the position file's (1,000,000:
# each of its runs writes and reads a file). Inputs of the packet, RPC and
# position targets are kept to 512 bytes, still dozens of packets each; the
# trace and capture readers get up to 8 KB, room for split messages and
# fragments across several records, and lines longer than a read.
set -uo pipefail
build=${1:?usage: fuzz-long.sh BUILD_DIR OUT_DIR [TARGET...]}
out=${2:?usage: fuzz-long.sh BUILD_DIR OUT_DIR [TARGET...]}
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(rpc packet trace capture position)
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
status=0
for name in "${targets[@]}"; do
    runs=10000000 max_len=512
    [ "$name" = position ] && runs=1000000
    [ "$name" = trace ] || [ "$name" = capture ] && max_len=8192
    [ -x "$build/bin/fuzz_$name" ] || { echo "$name: no fuzz_$name in $build"; status=1; continue; }
    mkdir -p "$out/corpus-$name"
    start=$(date +%s)
    # A failing input is written beside the logs, never into the work tree.
    "$build/bin/fuzz_$name" -runs="$runs" -seed=1 -max_len="$max_len" -print_final_stats=1 \
        -artifact_prefix="$out/$name-" "$out/corpus-$name" "$root/fuzz/corpus/$name" >"$out/$name.log" 2>&1
    rc=$?
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$name.log")
    echo "$name: ${executed:-?} of $runs runs in $(( $(date +%s) - start )) s, exit $rc"
    if [ $rc -ne 0 ]; then
        echo "$name: stopped by a finding; see $out/$name.log and $out/$name-*"
        status=1
    fi
done
exit $status
