#!/usr/bin/env python3
"""Runs CTest once over a build tree; a failed test gets a second run only if its program did
not start at all: no output, ended at once. A Wine program now and then fails that way (within
0.01 s, before its first line; alone it passes every time). Every other failure fails the run
on its first showing, so a race that fails one run in two is seen rather than repeated away.
Each second run is named in the summary.

usage: ctest_once.py BUILD_DIR [CTEST_OPTION...]
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

# Longer than a start failure takes (0.01 s) and shorter than any test that ran: a Wine program
# needs a good tenth of a second before it can fail on its merits.
AT_ONCE_SECONDS = 0.5


def ctest(build_dir, options):
    return subprocess.call(["ctest", "--test-dir", build_dir, *options])


def did_not_start(case):
    output = case.findtext("system-out") or ""
    return output.strip() == "" and float(case.get("time", "0")) < AT_ONCE_SECONDS


def failed_cases(junit_path):
    # "notrun" (a missing program) is a failure too, and never one of a start.
    cases = ElementTree.parse(junit_path).getroot().iter("testcase")
    return [case for case in cases if case.get("status") in ("fail", "notrun")]


def exact_name_pattern(name):
    # Test names hold dots and slashes (Suite.Case/0); -R takes a regular expression.
    return "^" + re.sub(r"([\\^$.|?*+()\[\]{}])", r"\\\1", name) + "$"


def main():
    build_dir, options = sys.argv[1], sys.argv[2:]
    with tempfile.TemporaryDirectory() as scratch:
        junit = os.path.join(scratch, "results.xml")
        status = ctest(build_dir, options + ["--output-junit", junit])
        if status == 0:
            return 0
        try:
            failed = failed_cases(junit)
        except (OSError, ElementTree.ParseError):
            return status  # CTest itself failed (no tests, a bad option): nothing to tell apart
    if not failed:
        return status

    unstarted = [case for case in failed if case.get("status") == "fail" and did_not_start(case)]
    result = 0 if len(unstarted) == len(failed) else 1
    lines = []
    for case in unstarted:
        name = case.get("name")
        again = ctest(build_dir, options + ["-R", exact_name_pattern(name)])
        lines.append("rerun: %s (did not start): %s"
                     % (name, "passed" if again == 0 else "failed again"))
        if again != 0:
            result = 1
    for line in lines:
        print(line)
    return result


if __name__ == "__main__":
    sys.exit(main())
