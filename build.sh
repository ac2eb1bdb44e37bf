#!/usr/bin/env bash
# The main job: builds only what ships and what the demo needs (the Windows
# plugin and its package, the native replay tool), then replays the demo
# session through the real plugin, headless, showing what it did. No tests,
# sanitizer build, fuzz targets or benchmarks: ./test.sh builds and runs
# those. Both scripts use the same build folders, each turning the tests on
# or off, so running one after the other compiles the plugin only once.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

# ---- Windows: the plugin, the player's package, the replay tool ----
# The package (build/win/dist): norvi_warnings-VERSION.zip, with the
# stripped plugin and the readme, and norvi_warnings.debug, the plugin's
# debugging information, which the zip leaves out. Beside it
# norvi-replay-windows.zip: the replay tool for Windows, with the plugin it
# loads and its own stand-in host.
cmake -S . -B build/win -G Ninja --toolchain cmake/mingw-i686.cmake -DNORVI_TESTS=OFF >/dev/null
cmake --build build/win

# ---- Native: the replay tool ----
cmake -S . -B build/native -G Ninja -DNORVI_TESTS=OFF -DNORVI_BENCHMARKS=OFF >/dev/null
cmake --build build/native --target norvi-replay

rm -rf dist
mkdir -p dist
cp build/win/dist/* dist/

# ---- The demo, replayed ----
echo
echo "Replaying examples/demo.jsonl through the plugin:"
echo
build/native/bin/norvi-replay --format text --svg dist/demo.svg --report dist/demo-report.html \
    examples/demo.jsonl
echo
echo "Picture of the last frame drawn: dist/demo.svg"
echo "The run as a page to share:      dist/demo-report.html (open it in a browser)"
echo "Player's package:                $(ls dist/norvi_warnings-*.zip) (unpack into the game folder)"
echo "Its debugging information:       dist/norvi_warnings.debug (not for players)"
echo "The replay tool for Windows:     dist/norvi-replay-windows.zip"
