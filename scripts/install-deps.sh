#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is
# missing: the native toolchain and test libraries (and librsvg and libpng,
# with which the tests look at the replay tool's pictures), MinGW-w64 for 32-bit
# Windows, Wine to run the Windows tests, and valgrind and Python for the
# benchmark command (scripts/bench.sh), and Wireshark's command-line tools,
# whose capture files the capture reader's tests are checked against
# (tests/captures/make.sh); and simdjson's single-file source, which the
# Windows build of norvi-replay compiles in (Debian ships simdjson only as a
# native library). Needs root when it installs.
set -euo pipefail

packages=(
    g++ cmake ninja-build
    googletest libgtest-dev libbenchmark-dev libsimdjson-dev libcli11-dev nlohmann-json3-dev
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
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "error: these packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# ---- simdjson's source for the Windows build ----
# singleheader/simdjson.cpp and simdjson.h from Debian's source package of
# the very version installed, so that both builds read traces with the same
# code. Kept in a fixed folder outside any build tree (CMake's
# NORVI_SIMDJSON_SOURCE, default below); fetched again only when the
# installed version changes.
simdjson_dir=/var/cache/norvi/simdjson
simdjson_version=$(dpkg-query -W -f='${Version}' libsimdjson-dev)
if [ "$(cat "$simdjson_dir/VERSION" 2>/dev/null)" != "$simdjson_version" ]; then
    echo "fetching simdjson $simdjson_version's source into $simdjson_dir"
    if [ "$(id -u)" -ne 0 ]; then
        echo "error: fetching simdjson's source into $simdjson_dir needs root" >&2
        exit 1
    fi
    if ! grep -rqsx 'Types: deb-src' /etc/apt/sources.list.d/ &&
        ! grep -qs '^deb-src ' /etc/apt/sources.list; then
        cat >/etc/apt/sources.list.d/norvi-src.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
        apt-get update -qq
    fi
    download=$(mktemp -d)
    trap 'rm -rf "$download"' EXIT
    (cd "$download" && apt-get source -qq --download-only -o APT::Sandbox::User=root \
        "simdjson=$simdjson_version" >/dev/null)
    upstream=${simdjson_version%-*}
    tar -xzf "$download/simdjson_${upstream}.orig.tar.gz" -C "$download" \
        "simdjson-$upstream/singleheader/simdjson.cpp" "simdjson-$upstream/singleheader/simdjson.h"
    # The header must be the one the native build compiles against.
    if ! cmp -s "$download/simdjson-$upstream/singleheader/simdjson.h" /usr/include/simdjson.h; then
        echo "error: simdjson $simdjson_version's source does not match /usr/include/simdjson.h" >&2
        exit 1
    fi
    rm -rf "$simdjson_dir"
    mkdir -p "$simdjson_dir"
    cp "$download/simdjson-$upstream/singleheader/simdjson.cpp" \
        "$download/simdjson-$upstream/singleheader/simdjson.h" "$simdjson_dir/"
    echo "$simdjson_version" >"$simdjson_dir/VERSION"
fi
