#!/usr/bin/env python3
"""Says in one line how many of a ctest run's Windows tests ran and how many
were skipped, so that a Windows suite that never ran cannot pass for one that
did in the run's summary.

    windows-tests-line.py RESULTS.xml WINDOWS_BUILD_DIR

RESULTS.xml is ctest's --output-junit file. The Windows tests are those run
under Wine: the wine.* tests and the native tests that run the Windows tool
(*.WindowsTool.*). Where Wine cannot start, ctest holds one skipped stand-in,
wine.unavailable, in place of every Windows test program's tests."""

import pathlib
import sys
import xml.etree.ElementTree as ElementTree


def is_windows_test(name):
    return name.startswith("wine.") or ".WindowsTool." in name


def main():
    results, windows_build = sys.argv[1], pathlib.Path(sys.argv[2])
    ran = passed = skipped = 0
    wine_unavailable = False
    for case in ElementTree.parse(results).getroot().iter("testcase"):
        name = case.get("name", "")
        if not is_windows_test(name):
            continue
        if name == "wine.unavailable":
            wine_unavailable = True
        elif case.get("status") == "notrun" or case.find("skipped") is not None:
            skipped += 1
        else:
            ran += 1
            passed += case.get("status") == "run"
    failed = ran - passed
    if wine_unavailable:
        programs = len(list((windows_build / "bin").glob("*_tests.exe")))
        others = f" and {skipped} more Windows test{'s' if skipped > 1 else ''}" if skipped else ""
        print(f"Windows tests: NONE RAN, as Wine cannot start on this machine: the tests of "
              f"{programs} Windows test programs{others} were skipped. They run, and must pass, "
              f"where Wine starts (cmake/wine-probe.sh --explain says why)")
    else:
        line = f"Windows tests: {ran} ran under Wine ({passed} passed, {failed} failed)"
        print(line + (f", {skipped} skipped" if skipped else ", none skipped"))


if __name__ == "__main__":
    main()
