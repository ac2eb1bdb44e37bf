#!/usr/bin/env bash
# Instruction counts per player-sync packet, free of the machine's noise:
# runs bench/callgrind_driver.cpp under callgrind and divides each batch's
# total (the plugin's packet hook, the floor, the host's bare delivery) by
# the packets in it. Writes the annotated profile of the hook's batch next
# to the dumps, for finding where its instructions go.
#
#   scripts/bench-callgrind.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR holds a native build with the benchmarks [build/bench];
# ROUNDS is how many times the 4096-packet mix runs per batch [4].
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/bench}
rounds=${2:-4}
driver=$build/bin/norvi_callgrind_driver
out=$build/callgrind
if [ ! -x "$driver" ]; then
    echo "error: $driver not found: build the benchmarks first (scripts/bench.sh does)" >&2
    exit 1
fi
command -v valgrind >/dev/null || { echo "error: valgrind is not installed" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"
valgrind --tool=callgrind --callgrind-out-file="$out/callgrind.out" \
    "$driver" "$rounds" >"$out/driver.txt" 2>"$out/valgrind.txt" || {
    cat "$out/valgrind.txt" >&2
    exit 1
}
packets=$(sed -n 's/^packets per batch: //p' "$out/driver.txt")

# The dump of one batch: the file whose description names its trigger.
dump_of() { grep -l "Client Request: $1\$" "$out"/callgrind.out.* | head -1; }
# Instructions of a dump: its "summary:" line (callgrind_annotate's PROGRAM
# TOTALS), the only event being Ir.
instructions_of() { awk '/^summary:/ { print $2 }' "$1"; }

hook=$(dump_of sync-hook)
floor=$(dump_of floor)
delivery=$(dump_of delivery)
other=$(dump_of other-hook)
other_delivery=$(dump_of other-delivery)
for name in hook floor delivery other other_delivery; do
    [ -n "${!name}" ] || { echo "error: no callgrind dump for the $name batch" >&2; exit 1; }
done
callgrind_annotate --inclusive=yes "$hook" >"$out/sync-hook-annotated.txt"
callgrind_annotate --inclusive=yes "$floor" >"$out/floor-annotated.txt"
callgrind_annotate --auto=no --threshold=100 "$hook" >"$out/sync-hook-self.txt"
callgrind_annotate --auto=no --threshold=100 "$floor" >"$out/floor-self.txt"

python3 - "$packets" "$(instructions_of "$hook")" "$(instructions_of "$floor")" \
    "$(instructions_of "$delivery")" "$(instructions_of "$other")" \
    "$(instructions_of "$other_delivery")" <<'PY'
import sys
packets, hook, floor, delivery, other, other_delivery = (int(a) for a in sys.argv[1:])
per = lambda n: n / packets
print(f"packets per batch:            {packets}")
print(f"sync hook, instructions/pkt:  {per(hook):.1f}")
print(f"floor, instructions/pkt:      {per(floor):.1f}")
print(f"delivery, instructions/pkt:   {per(delivery):.1f}  (host hands the packet to a hook that returns at once)")
print(f"hook above floor:             {per(hook) - per(floor):+.1f}  (target: at most +40)")
print(f"other packets, hook:          {per(other):.1f}")
print(f"other packets, delivery:      {per(other_delivery):.1f}")
print(f"other packets, hook's own:    {per(other) - per(other_delivery):+.1f}")
PY

# Where the instructions go: each function's own instructions per packet,
# the hook's batch next to the floor's.
python3 - "$packets" "$out/sync-hook-self.txt" "$out/floor-self.txt" <<'PY'
import re, sys
packets = int(sys.argv[1])
def self_costs(path):
    costs = {}
    for line in open(path):
        m = re.match(r"\s*([\d,]+) \(\s*[\d.]+%\)\s+(\S+?):(.+?)(?: \[(.+)\])?$", line)
        if not m or "100.0%" in line:
            continue
        name = m.group(3)
        # Keep the plugin's own functions apart from the host's and ours.
        where = m.group(2)
        key = f"{name}  ({where})"
        costs[key] = costs.get(key, 0) + int(m.group(1).replace(",", ""))
    return costs
hook, floor = self_costs(sys.argv[2]), self_costs(sys.argv[3])
print()
print("own instructions per packet, by function (hook batch | floor batch):")
for key in sorted(set(hook) | set(floor), key=lambda k: -max(hook.get(k, 0), floor.get(k, 0))):
    h, f = hook.get(key, 0) / packets, floor.get(key, 0) / packets
    if max(h, f) >= 0.5:
        print(f"  {h:8.1f} | {f:8.1f}  {key}")
PY
echo "annotated profiles: $out/sync-hook-annotated.txt, $out/floor-annotated.txt"
