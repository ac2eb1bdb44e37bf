#!/usr/bin/env bash
# Builds everything and runs every test: native, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
scripts/configure.sh
ctest --test-dir build/native --output-on-failure -j2
