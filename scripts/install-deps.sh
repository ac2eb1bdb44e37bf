#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is
# missing: the native toolchain and test libraries (and librsvg and libpng,
# with which the tests look at the replay tool's pictures), MinGW-w64 for 32-bit
# Windows, Wine to run the Windows tests, and valgrind and Python for the
# benchmark command (scripts/bench.sh), and Wireshark's command-line tools,
# whose capture files the capture reader's tests are checked against
# (tests/captures/make.sh). Needs root when it installs.
set -euo pipefail

packages=(
    g++ cmake ninja-build
    googletest libgtest-dev libbenchmark-dev libsimdjson-dev libcli11-dev
    g++-mingw-w64-i686 wine wine32:i386
    clang-14 libclang-rt-14-dev clang-tidy cppcheck
    zip unzip
    libpng-dev librsvg2-bin fonts-dejavu-core
    valgrind python3 time
    wireshark-common
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "error: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
