#!/bin/sh
# Tells whether this machine can run the Windows tests under Wine. Wine's
# loader for 32-bit Windows programs is itself a 32-bit Linux program, and
# some kernels (or the sandboxes around them) refuse to execute those.
#
#   wine-probe.sh            exit 0 if Wine starts, 1 if not
#   wine-probe.sh --explain  says why not and exits 77 (ctest: skipped)
if wine --version >/dev/null 2>&1; then
    [ "${1:-}" = --explain ] && echo "Wine runs here"
    exit 0
fi
[ "${1:-}" != --explain ] && exit 1
reason=$(wine --version 2>&1 | tail -n 1)
echo "The Windows tests cannot run on this machine: Wine does not start ($reason)."
echo "Its 32-bit loader needs a kernel that executes 32-bit Linux programs; this one does not."
echo "The Windows build itself was compiled; its tests run wherever Wine starts."
exit 77
