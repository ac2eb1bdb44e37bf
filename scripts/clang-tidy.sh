#!/usr/bin/env bash
# clang-tidy over the plugin, the stand-in host and the tools, with the
# checks in .clang-tidy, against the compile commands of a clang build.
set -euo pipefail
build=${1:?usage: clang-tidy.sh BUILD_DIR}
cd "$(dirname "$0")/.."
# json_library.cpp is simdjson's own source, compiled by the Windows build
# only, as are the Windows files of the tool's system layer (*_windows.cpp),
# which a native clang build has no compile commands for.
findings=$(git ls-files 'src/*.cpp' 'host/*.cpp' 'tools/*.cpp' ':!tools/replay/json_library.cpp' \
    ':!tools/**/*_windows.cpp' |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>&1 |
    grep -v -E '^[0-9]+ warnings? generated|^Suppressed [0-9]+ warnings|^Use -header-filter' || true)
if [ -n "$findings" ]; then
    printf '%s\n' "$findings"
    echo "clang-tidy: findings above"
    exit 1
fi
echo "clang-tidy: clean"
