#!/usr/bin/env bash
# Checks the Windows replay tool's package as a user gets it, without
# running Windows:
#   scripts/check-replay-package.sh ZIP VERSION
# One folder, norvi-replay/, holding the tool, the plugin, the stand-in host,
# the manual and the readme, nothing else; the programs stripped and needing
# no DLL but the system's and each other; the readme carrying VERSION, the
# warning about the stand-in, and Windows line ends.
set -euo pipefail
zip=$(realpath "$1") version=$2
tools=i686-w64-mingw32
fail() { echo "check-replay-package: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && unzip -q "$zip")
listing=$(cd "$work" && find . -type f | sort | tr '\n' ' ')
expected="./norvi-replay/README.txt ./norvi-replay/SAMPFUNCS.asi ./norvi-replay/norvi-replay.exe "
expected+="./norvi-replay/norvi_warnings.dll ./norvi-replay/replay.md "
[ "$listing" = "$expected" ] || fail "the zip holds: $listing"

folder=$work/norvi-replay
for program in norvi-replay.exe norvi_warnings.dll SAMPFUNCS.asi; do
    ! grep -q ' \.debug_' <<<"$($tools-objdump -h "$folder/$program")" ||
        fail "$program still has debugging sections"
    # Every DLL a program needs must be the system's or in the folder: a
    # MinGW runtime DLL left out would stop it on a machine without one.
    while read -r dll; do
        case "${dll,,}" in
        kernel32.dll | msvcrt.dll | shell32.dll | user32.dll | advapi32.dll) ;;
        sampfuncs.asi) ;;
        *) fail "$program needs $dll, which is neither the system's nor in the package" ;;
        esac
    done < <($tools-objdump -p "$folder/$program" | sed -n 's/^\s*DLL Name: //p')
done
grep -q 'DLL Name: SAMPFUNCS.asi' <<<"$($tools-objdump -p "$folder/norvi-replay.exe")" ||
    fail "norvi-replay.exe does not load the stand-in host"

readme=$folder/README.txt
grep -q "Version $version" "$readme" || fail "the readme does not carry version $version"
grep -q "NEVER copy it" "$readme" || fail "the readme does not warn about the stand-in SAMPFUNCS.asi"
for text in "$readme" "$folder/replay.md"; do
    [ "$(grep -c $'\r$' "$text")" = "$(wc -l <"$text")" ] || fail "$(basename "$text") has Unix line ends"
done
echo "replay package ok: $(basename "$zip"), norvi-replay.exe $(stat -c %s "$folder/norvi-replay.exe") bytes"
