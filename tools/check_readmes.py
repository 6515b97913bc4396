#!/usr/bin/env python3
"""README.md and README.ja.md keep the same sections: the same number of
headings at each level, in the same order (the headings' words differ by
language, so only their levels are compared). Exit status 1 when they drift.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
EDITIONS = ["README.md", "README.ja.md"]


def headings(path):
    """(level, text) of every ATX heading outside fenced code."""
    found, fenced = [], False
    for line in path.read_text(encoding="utf-8").splitlines():
        if line.lstrip().startswith("```"):
            fenced = not fenced
        elif not fenced and (match := re.match(r"(#{1,6})\s+(.*)", line)):
            found.append((len(match.group(1)), match.group(2).strip()))
    return found


def main():
    first, second = (headings(ROOT / name) for name in EDITIONS)
    faults = []
    for index in range(max(len(first), len(second))):
        a = first[index] if index < len(first) else None
        b = second[index] if index < len(second) else None
        if a is None or b is None or a[0] != b[0]:
            faults.append(f"heading {index + 1}: {EDITIONS[0]} {a}, {EDITIONS[1]} {b}")
    for fault in faults:
        print(fault)
    if faults:
        print("the two READMEs' sections differ: give each section its counterpart")
        return 1
    print(f"{len(first)} headings in both READMEs")
    return 0


if __name__ == "__main__":
    sys.exit(main())
