#!/usr/bin/env bash
# Configures and builds both targets: build/win (32-bit Windows, MinGW-w64)
# and build/native (Linux), whose ctest also runs the Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/win -G Ninja --toolchain cmake/mingw-i686.cmake >/dev/null
cmake --build build/win
cmake -S . -B build/native -G Ninja -DNORVI_WINDOWS_BUILD_DIR="$PWD/build/win" >/dev/null
cmake --build build/native
