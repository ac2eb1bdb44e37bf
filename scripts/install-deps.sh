#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is
# missing: the native toolchain and test libraries (and librsvg and libpng,
# with which the tests look at the replay tool's pictures), MinGW-w64 for 32-bit
# Windows, Wine to run the Windows tests, and valgrind and Python for the
# benchmark command (scripts/bench.sh), and Wireshark's command-line tools,
# whose capture files the capture reader's tests are checked against
# (tests/captures/make.sh) and whose tshark reads back the annotated
# captures the replay tool writes, and tcpdump, with which a live game is
# watched in the tests (tests/live); Node.js with npm, which installs the
# report page's chart library, and Chromium, in which the page is tested;
# and simdjson's single-file source, which the Windows build of
# norvi-replay compiles in (Debian ships simdjson only as a native
# library). Needs root when it installs.
set -euo pipefail

packages=(
    g++ cmake ninja-build
    googletest libgtest-dev libbenchmark-dev libsimdjson-dev libcli11-dev nlohmann-json3-dev
    g++-mingw-w64-i686 wine wine32:i386
    clang-14 libclang-rt-14-dev clang-tidy cppcheck
    zip unzip
    libpng-dev librsvg2-bin fonts-dejavu-core
    valgrind python3 time
    wireshark-common tshark tcpdump
    # norvi-replay's .deb: its manual page written from --help, its library
    # dependencies worked out (dpkg-shlibdeps), Debian's checks (lintian, man)
    help2man lintian man-db dpkg-dev
    # The report page: Node.js (npm below) and Chromium, in which it is tested
    nodejs chromium
)
# npm installs the report page's chart library and its tests' browser
# driver from the lock file (scripts/install-page-deps.sh). Debian ships it
# apart from nodejs; a nodejs from elsewhere may carry its own.
command -v npm >/dev/null || packages+=(npm)

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

# Refreshes apt's package lists. A mirror caught mid-sync fails one index
# ("File has unexpected size"), which a later try usually gets; if it never
# does, apt goes on with the lists it has, and the install or source
# download after this fails loudly if a package really cannot be had.
refresh_package_lists() {
    local try
    for try in 1 2 3; do
        apt-get update -qq && return 0
        echo "apt-get update failed (try $try of 3)" >&2
        [ $try -lt 3 ] && sleep 10
    done
    echo "warning: going on with the package lists apt already has" >&2
}

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
    refresh_package_lists
    install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends)
    if ! "${install[@]}" "${missing[@]}" >/dev/null; then
        # The usual cause: the security suite's index of one architecture
        # was not had, so a library's amd64 and i386 halves cannot be of one
        # version. The release's own suite has both.
        echo "install failed; trying again with the versions of Debian $codename itself" >&2
        "${install[@]}" -o APT::Default-Release="$codename" "${missing[@]}" >/dev/null
    fi
fi

# ---- simdjson's source for the Windows build ----
# singleheader/simdjson.cpp and simdjson.h from Debian's source package of
# the very version installed, so that both builds read traces with the same
# code. Kept in a fixed folder outside any build tree (CMake's
# NORVI_SIMDJSON_SOURCE, default below); fetched again only when the
# installed version changes.
# Prints a deb-src entry (deb822) for each apt source of this machine that
# serves the release's own suite with its main component: deb822 stanzas
# (*.sources) and one-line entries (sources.list, *.list) alike.
derive_source_entries() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$(basename "$f")" != norvi-src.sources ] || continue
        # Stanzas are paragraphs; a key's value is the rest of its line.
        awk -v codename="$codename" -v RS= -F '\n' '
            {
                types = uris = suites = components = signed = ""
                for (i = 1; i <= NF; i++) {
                    if ($i ~ /^[ \t]*#/) continue
                    key = tolower($i); sub(/:.*/, "", key)
                    value = $i; sub(/^[^:]*:[ \t]*/, "", value)
                    if (key == "types") types = " " value " "
                    if (key == "uris") uris = value
                    if (key == "suites") suites = " " value " "
                    if (key == "components") components = " " value " "
                    if (key == "signed-by") signed = value
                }
                if (types ~ / deb / && suites ~ (" " codename " ") && components ~ / main /) {
                    printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n", uris, codename
                    if (signed != "") printf "Signed-By: %s\n", signed
                    print ""
                }
            }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        # deb [options] URI suite component...
        awk -v codename="$codename" '
            $1 == "deb" {
                i = 2; signed = ""
                if ($2 ~ /^\[/) {
                    for (; i <= NF; i++) {
                        if ($i ~ /signed-by=/) {
                            signed = $i; sub(/.*signed-by=/, "", signed); sub(/\]$/, "", signed)
                        }
                        if ($i ~ /\]$/) break
                    }
                    i++
                }
                main = 0
                for (j = i + 2; j <= NF; j++) if ($j == "main") main = 1
                if ($(i + 1) == codename && main) {
                    printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\n", $i, codename
                    if (signed != "") printf "Signed-By: %s\n", signed
                    print ""
                }
            }' "$f"
    done
}

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
        # Source entries for the mirrors this machine already takes its
        # packages from: each entry for the release's own suite (main) again,
        # as deb-src.
        derive_source_entries >/etc/apt/sources.list.d/norvi-src.sources
        if ! [ -s /etc/apt/sources.list.d/norvi-src.sources ]; then
            rm -f /etc/apt/sources.list.d/norvi-src.sources
            echo "error: simdjson's source is needed for the Windows build, and no apt source" >&2
            echo "entry for Debian $codename (main) was found to fetch it from; add a deb-src" >&2
            echo "entry for $codename to /etc/apt/sources.list.d/ and run this again" >&2
            exit 1
        fi
        refresh_package_lists
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
