#!/usr/bin/env bash
# Checks the player's package as a player gets it, without running Windows:
#   scripts/check-package.sh ZIP DEBUG_FILE VERSION
# The zip holds the plugin and the readme and nothing else; the plugin is
# stripped, names the debug file in its debug link and carries VERSION in
# its version resource; the readme carries VERSION and Windows line ends.
set -euo pipefail
zip=$1 debug=$2 version=$3
tools=i686-w64-mingw32
fail() { echo "check-package: $*" >&2; exit 1; }

[ "$(basename "$zip")" = "norvi_warnings-$version.zip" ] || fail "zip named $(basename "$zip")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && unzip -q "$zip")
listing=$(cd "$work" && find . -type f | sort | tr '\n' ' ')
[ "$listing" = "./SAMPFUNCS/norvi_warnings.sf ./norvi_warnings-readme.txt " ] ||
    fail "the zip holds: $listing"

plugin=$work/SAMPFUNCS/norvi_warnings.sf
sections=$($tools-objdump -h "$plugin")
! grep -q ' \.debug_' <<<"$sections" || fail "the plugin still has debugging sections"
link=$($tools-objcopy --dump-section .gnu_debuglink=/dev/stdout "$plugin" | tr -d '\0' | head -c 20)
[ "$link" = "norvi_warnings.debug" ] || fail "debug link names \"$link\""
grep -q ' \.debug_info' <<<"$($tools-objdump -h "$debug")" || fail "$debug has no debugging information"

IFS=. read -r major minor patch <<<"$version"
resource=$($tools-windres -i "$plugin" -O rc)
grep -q "FILEVERSION $major, $minor, $patch, 0" <<<"$resource" || fail "file version: $resource"
grep -q "VALUE \"ProductVersion\", \"$version\"" <<<"$resource" || fail "product version: $resource"

readme=$work/norvi_warnings-readme.txt
grep -q "Version $version" "$readme" || fail "the readme does not carry version $version"
! grep -q '@' "$readme" || fail "the readme has a placeholder left: $(grep '@' "$readme")"
[ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "the readme has Unix line ends"
echo "package ok: $(basename "$zip"), plugin $(stat -c %s "$plugin") bytes"
