#!/usr/bin/env bash
# clang-tidy over the plugin, the stand-in host and the tools, with the
# checks in .clang-tidy, against the compile commands of a clang build.
set -euo pipefail
build=${1:?usage: clang-tidy.sh BUILD_DIR}
cd "$(dirname "$0")/.."
# A source built into several targets (the plugin's into the plugin, the
# tool, the tests and the fuzzers) has a compile command for each, and
# clang-tidy would check it once for every one: each is checked once, with
# the command of the shared library that owns it (the one defining its
# <target>_EXPORTS macro) where there is one, else the first.
commands=$(mktemp -d)
trap 'rm -rf "$commands"' EXIT
python3 - "$build/compile_commands.json" "$commands/compile_commands.json" <<'PY'
import json, os, sys
entries = json.load(open(sys.argv[1]))
chosen = {}
for e in entries:
    key = os.path.normpath(os.path.join(e["directory"], e["file"]))
    owns = "_EXPORTS" in e.get("command", "")
    if key not in chosen or (owns and not chosen[key][1]):
        chosen[key] = (e, owns)
json.dump([e for e, _ in chosen.values()], open(sys.argv[2], "w"), indent=1)
PY
# json_library.cpp is simdjson's own source, compiled by the Windows build
# only, as are the Windows files of the tool's system layer (*_windows.cpp),
# which a native clang build has no compile commands for.
findings=$(git ls-files 'src/*.cpp' 'host/*.cpp' 'tools/*.cpp' ':!tools/replay/json_library.cpp' \
    ':!tools/**/*_windows.cpp' |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$commands" --quiet 2>&1 |
    grep -v -E '^[0-9]+ warnings? generated|^Suppressed [0-9]+ warnings|^Use -header-filter' || true)
if [ -n "$findings" ]; then
    printf '%s\n' "$findings"
    echo "clang-tidy: findings above"
    exit 1
fi
echo "clang-tidy: clean"
