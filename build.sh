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

# ---- Linux: the replay tool as a Debian package ----
# norvi-replay_VERSION_ARCH.deb, made by CPack (packaging/deb) from a Release
# build of its own: the tool, the plugin and the stand-in host it loads, its
# manual page, the manual and the example capture. Debian's lintian checks it.
cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVI_TESTS=OFF \
    -DNORVI_BENCHMARKS=OFF >/dev/null
rm -f build/deb/norvi-replay_*.deb
cmake --build build/deb --target package

rm -rf dist
mkdir -p dist
cp build/win/dist/* dist/
cp build/deb/norvi-replay_*.deb dist/
# (lintian warns when it runs as root, as it does here: that line is dropped.)
lintian --fail-on error,warning dist/norvi-replay_*.deb 2> >(grep -v 'running with root privileges' >&2)

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
echo "The replay tool for Linux:       $(ls dist/norvi-replay_*.deb) (apt install ./FILE)"
