#!/usr/bin/env bash
# The main job: builds both targets, packages the Windows plugin as a zip a
# player unpacks into the game folder, and replays the demo session through
# the real plugin, headless, showing what it did.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
scripts/configure.sh

# ---- The player's package: dist/norvi_warnings.zip ----
# Unpacked into the game folder, it puts the plugin beside SAMPFUNCS.
package=dist/package
rm -rf "$package" dist/norvi_warnings.zip
mkdir -p "$package/SAMPFUNCS"
cp build/win/bin/norvi_warnings.dll "$package/SAMPFUNCS/norvi_warnings.sf"
# Windows line ends, for Notepad.
sed 's/$/\r/' docs/player-readme.txt >"$package/norvi_warnings-readme.txt"
(cd "$package" && zip -q -X -r ../norvi_warnings.zip SAMPFUNCS norvi_warnings-readme.txt)

# ---- The demo, replayed ----
echo
echo "Replaying examples/demo.jsonl through the plugin:"
echo
build/native/bin/norvi-replay --format text --svg dist/demo.svg examples/demo.jsonl
echo
echo "Picture of the last frame drawn: dist/demo.svg"
echo "Player's package:                dist/norvi_warnings.zip (unpack into the game folder)"
