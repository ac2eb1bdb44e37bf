#!/usr/bin/env bash
# Makes norvi-replay's Debian package from a native build and checks it as
# a Linux admin gets it, without installing anything into this machine:
#   scripts/check-deb-package.sh BUILD_DIR VERSION
# The package's files, their modes and its fields; Debian's own checks
# (lintian); then, unpacked into a temporary root with dpkg-deb -x, the tool
# run from another folder on the example capture with the plugin and the
# stand-in host of the package's own folder, and its manual page rendered.
set -euo pipefail
build=$(realpath "$1") version=$2
fail() { echo "check-deb-package: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$work/out/norvi-replay_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack made no $(basename "$deb"): $(ls "$work/out")"

# ---- What it holds: every file and folder, its mode and owner ----
listing=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }')
expected="drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/norvi-replay
drwxr-xr-x root/root ./usr/lib/
drwxr-xr-x root/root ./usr/lib/norvi-replay/
-rw-r--r-- root/root ./usr/lib/norvi-replay/libSAMPFUNCS.so
-rw-r--r-- root/root ./usr/lib/norvi-replay/libnorvi_warnings.so
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/norvi-replay/
-rw-r--r-- root/root ./usr/share/doc/norvi-replay/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/norvi-replay/copyright
drwxr-xr-x root/root ./usr/share/doc/norvi-replay/examples/
-rw-r--r-- root/root ./usr/share/doc/norvi-replay/examples/session.pcapng
-rw-r--r-- root/root ./usr/share/doc/norvi-replay/hour-timeline.png
-rw-r--r-- root/root ./usr/share/doc/norvi-replay/replay.md
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/norvi-replay.1.gz"
[ "$listing" = "$expected" ] || fail "the package holds:"$'\n'"$listing"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
# The libraries the binaries need, as dpkg-shlibdeps found them; the stand-in
# host is the package's own and no dependency.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libsimdjson; do
    grep -q "$library" <<<"$depends" || fail "Depends has no $library: $depends"
done
! grep -qi sampfuncs <<<"$depends" || fail "Depends names the stand-in host: $depends"
# Nothing runs when it is installed or removed.
[ -z "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'inst$|rm$')" ] ||
    fail "the package has maintainer scripts: $(dpkg-deb --ctrl-tarfile "$deb" | tar -t)"

# ---- Debian's checks: stripped binaries, permissions, copyright, changelog... ----
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian finds faults"; }

# ---- Unpacked: run from another folder, as from the installed package ----
root=$work/root
dpkg-deb -x "$deb" "$root"
mkdir "$work/elsewhere"
cd "$work/elsewhere"
tool=$root/usr/bin/norvi-replay
capture=$root/usr/share/doc/norvi-replay/examples/session.pcapng
libraries=$(ldd "$tool")
grep -q "libSAMPFUNCS.so => $root/usr/bin/../lib/norvi-replay/libSAMPFUNCS.so" <<<"$libraries" ||
    fail "the tool does not take the stand-in host from the package's folder: $libraries"
status=0
"$tool" --fail-on-warning --summary "$capture" >"$work/transcript.jsonl" 2>"$work/stderr" ||
    status=$?
# The example's one warning, about Anna_Sokol, is status 3.
[ $status = 3 ] || fail "the tool exited with $status on the example capture: $(cat "$work/stderr")"
grep -q '"warning"' "$work/transcript.jsonl" || fail "no warning in the transcript"
# --plugin still overrides the package's plugin.
status=0
"$tool" --plugin "$work/nowhere.so" "$capture" >/dev/null 2>"$work/stderr" || status=$?
[ $status = 1 ] && grep -q "nowhere.so" "$work/stderr" ||
    fail "--plugin nowhere.so: status $status, $(cat "$work/stderr")"

# ---- The manual page: rendered without complaint, its sections, every option ----
page=$root/usr/share/man/man1/norvi-replay.1.gz
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$work/man.err")
[ ! -s "$work/man.err" ] || fail "man -l complains: $(cat "$work/man.err")"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES FILES "SEE ALSO"; do
    grep -qx "$section" <<<"$rendered" || fail "the manual page has no $section section"
done
grep -q "tcpdump(8), dumpcap(1)" <<<"$rendered" || fail "SEE ALSO names neither tcpdump nor dumpcap"
source=$(zcat "$page" | sed 's/\\-/-/g')
for option in $("$tool" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$source" || fail "--help has $option, the manual page has not"
done
echo "deb package ok: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"
