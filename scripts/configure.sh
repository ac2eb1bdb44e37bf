#!/usr/bin/env bash
# Configures and builds every build of the project: build/win (32-bit
# Windows, MinGW-w64), build/sanitize (clang with sanitizers, fuzz targets,
# static checks) and build/native (Linux), whose ctest runs the tests of all
# three. Tests and benchmarks are turned on explicitly: ./build.sh turns
# them off in the same folders.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/win -G Ninja --toolchain cmake/mingw-i686.cmake -DNORVI_TESTS=ON >/dev/null
cmake --build build/win
# The sanitizer build (clang): the tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzz targets and the static checks.
CC=clang-14 CXX=clang++-14 cmake -S . -B build/sanitize -G Ninja \
    -DNORVI_SANITIZE=ON -DNORVI_FUZZ=ON -DNORVI_STATIC_CHECKS=ON >/dev/null
cmake --build build/sanitize
cmake -S . -B build/native -G Ninja -DNORVI_TESTS=ON -DNORVI_BENCHMARKS=ON \
    -DNORVI_WINDOWS_BUILD_DIR="$PWD/build/win" \
    -DNORVI_EXTRA_TEST_DIRS="$PWD/build/sanitize" >/dev/null
cmake --build build/native
