#!/usr/bin/env python3
"""Which tests a ctest run skipped, and why (make test prints it at the end).

    tests/skipped_tests.py JUNIT.xml [LABEL]

Reads the JUnit file of `ctest --output-junit`: every test ctest skipped (a script's exit
status 77, GoogleTest's GTEST_SKIP), with the reason it printed: GoogleTest's skip message
(the line after "file:line: Skipped"), else the test's last line of output. One line per
test, or that none was skipped; exit status 0 either way.
"""
import sys
import xml.etree.ElementTree as ET


def skipped(junit_path):
    """(test name, reason) for every skipped test of a ctest JUnit file."""
    out = []
    for case in ET.parse(junit_path).getroot().iter("testcase"):
        if case.find("skipped") is None:
            continue
        text = case.findtext("system-out") or ""
        lines = [line.strip() for line in text.splitlines() if line.strip()]
        reason = next((lines[i + 1] for i, line in enumerate(lines[:-1]) if line.endswith(": Skipped")), "")
        if not reason:
            reason = [line for line in lines if not line.startswith("[")][-1:] or ["(no reason printed)"]
            reason = reason[0]
        out.append((case.get("name"), reason))
    return out


def main():
    path = sys.argv[1]
    label = sys.argv[2] if len(sys.argv) > 2 else path
    try:
        found = skipped(path)
    except (OSError, ET.ParseError) as e:
        print(f"{label}: no list of skipped tests ({e})")
        return 0
    if not found:
        print(f"{label}: no test skipped")
    for name, reason in found:
        print(f"{label}: skipped {name}: {reason}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
