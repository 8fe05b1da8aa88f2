#!/usr/bin/env python3
"""Checks that every test suite of a lane registered, and ran, the tests it
should, so the test command cannot go green while a suite is left out.

    check_suites.py ctest <lane> <build dir>     before ctest runs
    check_suites.py junit <lane> <junit.xml>     after it: nothing skipped
    check_suites.py gtest <lane> <suite> <log>   a GoogleTest program's output
    check_suites.py unittest <lane> <suite> <log>  a Python unittest run's output

The floors are in tests/suite-floors.txt: one line per lane and suite with
the least number of tests it must have. A suite of the lane that is missing,
or has fewer tests than its floor, fails the check; so does a suite that is
registered but has no floor (add one when you add a suite).
"""
import collections
import json
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FLOORS = os.path.join(ROOT, "tests", "suite-floors.txt")


def floors(lane):
    """The floors of one lane: {suite: least number of tests}."""
    result = {}
    with open(FLOORS, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            parts = line.split()
            if len(parts) != 3 or not parts[2].isdigit():
                sys.exit(f"{FLOORS}:{number}: expected '<lane> <suite> <count>', got '{line}'")
            if parts[0] == lane:
                result[parts[1]] = int(parts[2])
    if not result:
        sys.exit(f"check_suites: no floors for lane '{lane}' in {FLOORS}")
    return result


def suite_of(test):
    """A registered test's suite: its program (for a Python script, the
    script), with the locale it runs under."""
    command = test.get("command") or ["?"]
    name = os.path.basename(command[0])
    if name.startswith("python") and len(command) > 1:
        name = os.path.basename(command[1])
    for prop in test.get("properties", []):
        if prop["name"] == "ENVIRONMENT":
            for value in prop["value"]:
                if value.startswith("LC_ALL="):
                    name += "@" + value[len("LC_ALL="):]
    return name


def compare(lane, counts):
    wanted = floors(lane)
    bad = []
    for suite, least in sorted(wanted.items()):
        have = counts.get(suite, 0)
        mark = "ok" if have >= least else "TOO FEW"
        print(f"  {suite}: {have} tests (floor {least}) {mark}")
        if have < least:
            bad.append(f"{suite} has {have} tests, fewer than its floor of {least}")
    for suite in sorted(set(counts) - set(wanted)):
        bad.append(f"{suite} ({counts[suite]} tests) has no floor in {FLOORS}")
    if bad:
        for line in bad:
            print(f"check_suites [{lane}]: {line}", file=sys.stderr)
        sys.exit(1)


def check_ctest(lane, build_dir):
    out = subprocess.run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
    counts = collections.Counter(suite_of(t) for t in json.loads(out)["tests"])
    print(f"== Suites registered in {build_dir} (lane {lane})")
    compare(lane, counts)


def check_junit(lane, path):
    skipped = []
    for case in ET.parse(path).getroot().iter("testcase"):
        status = case.get("status", "")
        if status in ("skipped", "notrun", "disabled") or case.find("skipped") is not None:
            skipped.append(case.get("name"))
    if skipped:
        for name in skipped:
            print(f"check_suites [{lane}]: {name} was skipped", file=sys.stderr)
        sys.exit(1)
    print(f"== No test skipped (lane {lane})")


def check_gtest(lane, suite, log):
    """A GoogleTest program's summary: '[  PASSED  ] N tests' and no skips."""
    with open(log, encoding="utf-8", errors="replace") as f:
        text = f.read()
    passed = re.findall(r"^\[  PASSED  \] (\d+) tests?\.", text, re.M)
    skipped = re.findall(r"^\[  SKIPPED \] (\d+) tests?,", text, re.M)
    if skipped:
        print(f"check_suites [{lane}]: {suite} skipped {skipped[-1]} tests", file=sys.stderr)
        sys.exit(1)
    check_ran(lane, suite, int(passed[-1]) if passed else 0)


def check_ran(lane, suite, have):
    """A run's count of passed tests against the suite's floor."""
    least = floors(lane).get(suite)
    if least is None:
        sys.exit(f"check_suites [{lane}]: {suite} has no floor in {FLOORS}")
    print(f"  {suite}: {have} tests passed (floor {least})")
    if have < least:
        sys.exit(f"check_suites [{lane}]: {suite} ran {have} tests, fewer than its floor of {least}")


def check_unittest(lane, suite, log):
    """A Python unittest run's output: 'Ran N tests' and 'OK', nothing
    skipped."""
    with open(log, encoding="utf-8", errors="replace") as f:
        text = f.read()
    ran = re.findall(r"^Ran (\d+) tests? in ", text, re.M)
    if re.search(r"^OK \(.*skipped=", text, re.M) or re.search(r" \.\.\. skipped", text):
        sys.exit(f"check_suites [{lane}]: {suite} skipped tests")
    if not re.search(r"^OK$", text, re.M):
        sys.exit(f"check_suites [{lane}]: {suite} did not pass")
    check_ran(lane, suite, int(ran[-1]) if ran else 0)


def main(argv):
    if len(argv) == 4 and argv[1] == "ctest":
        check_ctest(argv[2], argv[3])
    elif len(argv) == 4 and argv[1] == "junit":
        check_junit(argv[2], argv[3])
    elif len(argv) == 5 and argv[1] == "gtest":
        check_gtest(argv[2], argv[3], argv[4])
    elif len(argv) == 5 and argv[1] == "unittest":
        check_unittest(argv[2], argv[3], argv[4])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
