#!/usr/bin/env python3
"""Counts one CTest JUnit report (ctest --output-junit): prints a line for each skipped
test with the reason its output gives, then "PASSED FAILED SKIPPED" on the last line.
A missing or unreadable report counts as one failure: a run that said nothing passed nothing."""
import sys
import xml.etree.ElementTree as ET


def skip_reason(output):
    lines = output.splitlines()
    for i, line in enumerate(lines):
        if line.startswith("SKIP: "):  # a test script's own word
            return line[len("SKIP: "):]
        if line.endswith(": Skipped") and i + 1 < len(lines) and lines[i + 1].strip():
            return lines[i + 1].strip()  # GTEST_SKIP() << reason
    return "no reason given"


def main(path):
    try:
        cases = ET.parse(path).getroot().iter("testcase")
    except (OSError, ET.ParseError) as error:
        print(f"failed: no test report ({error})")
        print("0 1 0")
        return
    passed = failed = skipped = 0
    for case in cases:
        status = case.get("status")
        if case.find("skipped") is not None:
            skipped += 1
            print(f"skipped: {case.get('name')}: {skip_reason(case.findtext('system-out') or '')}")
        elif status == "run" and case.find("failure") is None:
            passed += 1
        else:
            failed += 1
    print(passed, failed, skipped)


main(sys.argv[1])
