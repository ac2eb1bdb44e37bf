#!/usr/bin/env bash
# The main job: builds both targets and puts the Windows plugin where a
# player picks it up (dist/).
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
scripts/configure.sh
mkdir -p dist/SAMPFUNCS
cp build/win/bin/norvi_warnings.dll dist/SAMPFUNCS/norvi_warnings.sf
echo
echo "Windows plugin: dist/SAMPFUNCS/norvi_warnings.sf (copy the SAMPFUNCS folder into the game folder)"
