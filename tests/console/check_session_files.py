#!/usr/bin/env python3
"""Checks a saved session record with Python's own csv and json modules.

    check_session_files.py RECORD.csv RECORD.jsonl EXPECTED.txt

EXPECTED.txt holds the exchanges the trip computer saw, one per line:
"REQUEST_HEX|ANSWER_HEX" (the answer empty when none came). Both files must
parse, hold every request as an "rx" entry and every answer as a "tx" entry
in that order with those bytes, have times that never go back, and end with
the six timing measures. Exit status 0 when all holds; otherwise the first
fault is printed and the status is 1.
"""

import csv
import json
import sys

MEASURES = ["P4", "P3", "TesterPresent", "WakeUp", "Retries", "P2"]


def fail(message):
    print("check_session_files: " + message)
    sys.exit(1)


def check_entries(name, entries, expected):
    """entries: (time_ms, direction, bytes) in file order."""
    last = None
    for time_ms, _, _ in entries:
        if last is not None and time_ms < last - 1.0:
            fail(f"{name}: time goes back from {last} to {time_ms}")
        last = time_ms
    rx = [b for _, d, b in entries if d == "rx"]
    tx = [b for _, d, b in entries if d == "tx"]
    requests = [r for r, _ in expected]
    answers = [a for _, a in expected if a]
    if rx != requests:
        fail(f"{name}: {len(rx)} received frames, expected {len(requests)}; first difference at "
             f"{next((i for i, (a, b) in enumerate(zip(rx, requests)) if a != b), min(len(rx), len(requests)))}")
    if tx != answers:
        fail(f"{name}: {len(tx)} answers, expected {len(answers)}")


def main():
    if len(sys.argv) != 4:
        fail("usage: check_session_files.py RECORD.csv RECORD.jsonl EXPECTED.txt")
    expected = []
    with open(sys.argv[3], encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line:
                request, answer = line.split("|")
                expected.append((request, answer))

    with open(sys.argv[1], newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    entries = [(float(r["time_ms"]), r["direction"], r["bytes"]) for r in rows if r["direction"] != "verdict"]
    check_entries("CSV", entries, expected)
    verdicts = [r["measure"] for r in rows if r["direction"] == "verdict"]
    if verdicts != MEASURES:
        fail(f"CSV: verdict rows {verdicts}")
    for r in rows:
        if r["direction"] == "verdict" and r["verdict"] not in ("pass", "fail"):
            fail(f"CSV: verdict {r['verdict']!r}")

    objects = []
    with open(sys.argv[2], encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            try:
                objects.append(json.loads(line))
            except json.JSONDecodeError as error:
                fail(f"JSON Lines: line {number}: {error}")
    entries = [(o["t_ms"], o["dir"], o.get("bytes", "")) for o in objects if "verdict" not in o]
    check_entries("JSON Lines", entries, expected)
    if [o["verdict"] for o in objects if "verdict" in o] != MEASURES:
        fail("JSON Lines: verdict objects")
    print(f"check_session_files: {len(expected)} exchanges in both files")


if __name__ == "__main__":
    main()
