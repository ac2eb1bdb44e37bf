#!/bin/sh
# Runs a Windows program under Wine for ctest. Wine's server and service
# processes outlive the program and inherit its output, so the output goes
# to files that are printed once the program has exited; otherwise ctest
# would wait on a pipe they keep open.
export WINEDEBUG=-all
# No Mono or Gecko install prompt on a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
: "${WINEPREFIX:=${HOME}/.wine-norvi}"
export WINEPREFIX
out=$(mktemp) err=$(mktemp)
# Standard input is the program's, for a capture piped into the tool.
wine "$@" >"$out" 2>"$err"
rc=$?
cat "$out"
cat "$err" >&2
rm -f "$out" "$err"
exit $rc
