#!/usr/bin/env bash
# Packages the Windows build of norvi-replay as dist/norvi-replay-windows.zip:
# a folder of its own holding the tool, the plugin it loads, the stand-in
# host both need, the tool's manual and a readme (Windows line ends, for
# Notepad). Needs build/win built.
set -euo pipefail
cd "$(dirname "$0")/.."

win=build/win/bin
package=dist/replay-windows
rm -rf "$package" dist/norvi-replay-windows.zip
mkdir -p "$package/norvi-replay"
# Without its debugging information the tool is a fraction of its size.
i686-w64-mingw32-strip -o "$package/norvi-replay/norvi-replay.exe" "$win/norvi-replay.exe"
i686-w64-mingw32-strip -o "$package/norvi-replay/norvi_warnings.dll" "$win/norvi_warnings.dll"
i686-w64-mingw32-strip -o "$package/norvi-replay/SAMPFUNCS.asi" "$win/SAMPFUNCS.asi"
sed 's/$/\r/' docs/replay-windows-readme.txt >"$package/norvi-replay/README.txt"
sed 's/$/\r/' docs/replay.md >"$package/norvi-replay/replay.md"
(cd "$package" && zip -q -X -r ../norvi-replay-windows.zip norvi-replay)
