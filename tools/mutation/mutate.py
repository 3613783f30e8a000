#!/usr/bin/env python3
"""Deliberate faults, one at a time: shows which the tests catch.

Each fault in the list (mutants.txt beside this file) names a file, a text
that must stand in it exactly once and what replaces it, the preset to build
and the tests to run. For each, the text is replaced, the preset built, the
tests run and the file put back; the fault is caught when a test fails. The
same list run before and after a change to the tests shows that the change
lost nothing: the same faults must be caught.

    tools/mutation/mutate.py [--list FILE] [--only NAME]...

Prints one Markdown row a fault and the totals. Every file is put back, and
the presets rebuilt, also when the run is interrupted.
"""
import argparse
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
KEYS = ("name", "file", "find", "replace", "preset", "tests")
# Bounds: a build or a test run that takes longer has hung.
BUILD_SECONDS = 1800
TEST_SECONDS = 3600


def read_mutants(path):
    """The faults of the list: blocks of "key: value" lines, "#" comments."""
    mutants, current = [], {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                if current:
                    mutants.append(current)
                current = {}
                continue
            key, sep, value = line.partition(": ")
            if not sep or key not in KEYS:
                sys.exit(f"{path}:{number}: expected one of {', '.join(KEYS)} followed by ': '")
            if key in current:  # a missing blank line would silently merge two faults
                sys.exit(f"{path}:{number}: a second {key} in one fault")
            current[key] = value.replace("\\n", "\n")
    if current:
        mutants.append(current)
    for mutant in mutants:
        missing = [key for key in KEYS if key not in mutant]
        if missing:
            sys.exit(f"{mutant.get('name', '?')}: lacks {', '.join(missing)}")
    return mutants


def run(command, seconds):
    """Runs a command in the tree; its exit status (124 on time-out) and its output."""
    try:
        done = subprocess.run(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=seconds)
        return done.returncode, done.stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return 124, ""


def build(preset):
    return run(["cmake", "--build", "--preset", preset], BUILD_SECONDS)[0] == 0


def try_mutant(mutant):
    """'caught', 'survived', or why it could not be tried."""
    path = os.path.join(ROOT, mutant["file"])
    with open(path, encoding="utf-8") as f:
        original = f.read()
    if original.count(mutant["find"]) != 1:
        return f"not tried: the text stands {original.count(mutant['find'])} times in {mutant['file']}"
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original.replace(mutant["find"], mutant["replace"]))
        if not build(mutant["preset"]):
            return "not tried: did not build"
        status, output = run(["ctest", "--preset", mutant["preset"], "-R", mutant["tests"]], TEST_SECONDS)
        if status == 0 and "***Skipped" in output:
            return "not tried: a test was skipped on this machine"
        return "caught" if status != 0 else "survived"
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", default=os.path.join(os.path.dirname(__file__), "mutants.txt"))
    parser.add_argument("--only", action="append", help="the fault of this name (repeatable)")
    args = parser.parse_args()
    # A run stopped with kill puts the file back as Ctrl+C does.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    mutants = [m for m in read_mutants(args.list) if not args.only or m["name"] in args.only]
    presets = sorted({m["preset"] for m in mutants})
    for preset in presets:
        if run(["cmake", "--preset", preset], BUILD_SECONDS)[0] != 0 or not build(preset):
            sys.exit(f"the unchanged tree does not build in {preset}")

    counts = {}
    print("| fault | preset | tests | result | seconds |")
    print("| --- | --- | --- | --- | ---: |")
    try:
        for mutant in mutants:
            start = time.monotonic()
            result = try_mutant(mutant)
            counts[result.split(":")[0]] = counts.get(result.split(":")[0], 0) + 1
            print(f"| {mutant['name']} | {mutant['preset']} | `{mutant['tests']}` | {result} | "
                  f"{time.monotonic() - start:.0f} |", flush=True)
    finally:
        for preset in presets:
            build(preset)  # the unchanged programs again
    print()
    print(", ".join(f"{count} {result}" for result, count in sorted(counts.items())) + f" of {len(mutants)}")
    return 0 if counts.get("not tried", 0) == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
