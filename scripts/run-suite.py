#!/usr/bin/env python3
"""Runs the program of one GoogleTest suite and judges how it ended: ctest runs
every suite through this.

    run-suite.py PROGRAM [ARGUMENT...]

The suite passes when GoogleTest's summary says that every test that ran passed,
no line reports an unhandled exception, and the program exits with 0.

Wine 8 sometimes ends a 32-bit program with SIGSEGV as it exits, after the
summary: a thread still alive at the exit is ended with SIGQUIT, and its signal
handler, running with %gs = 0, faults in glibc and again in its own fault
handler (docs/testing.md, "How a suite's run is judged"). A program that
printed a passing summary and then ended with a Unix signal is therefore run
once more, and the suite passes only when that second run passes without a
crash. Every other ending fails: a crash before the summary, a Windows
exception or exit status (a fault in the hook's code is one, see
tests/support/main.cpp), a second crash."""
import re
import signal
import subprocess
import sys

RAN = re.compile(r"^\[==========\] (\d+) tests? from \d+ test suites? ran\.", re.M)
PASSED = re.compile(r"^\[  PASSED  \] (\d+) tests?\.", re.M)
SKIPPED = re.compile(r"^\[  SKIPPED \] (\d+) tests?,", re.M)
FAILED = re.compile(r"^\[  FAILED  \]|Unhandled (exception|page fault|stack overflow)", re.M)
# What test-figures.py counts.
PASSED_AGAIN = "crashed at exit after passing and passed again"


def run(command):
    """Runs the command, passing its output on as it comes. Returns whether
    GoogleTest's summary says every test passed, and how the program ended:
    its exit status, or minus the signal that ended it."""
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    lines = []
    for raw in child.stdout:
        line = raw.decode("utf-8", "replace")
        lines.append(line)
        sys.stdout.write(line)
        sys.stdout.flush()
    status = child.wait()
    output = "".join(lines)
    ran, passed, skipped = RAN.search(output), PASSED.search(output), SKIPPED.search(output)
    summary = (ran is not None and passed is not None and FAILED.search(output) is None and
               int(passed[1]) + (int(skipped[1]) if skipped else 0) == int(ran[1]))
    return summary, status


def ending(status):
    return signal.Signals(-status).name if status < 0 else f"exit status {status}"


def main(command):
    summary, status = run(command)
    if summary and status == 0:
        return 0
    if not summary:
        print(f"run-suite: FAILED: no passing summary ({ending(status)})")
        return 1
    if status > 0:
        print(f"run-suite: FAILED: {ending(status)} after a passing summary")
        return 1
    print(f"run-suite: {ending(status)} after a passing summary; running the suite once more")
    again, second = run(command)
    if again and second == 0:
        print(f"run-suite: {PASSED_AGAIN} ({ending(status)})")
        return 0
    print(f"run-suite: FAILED: {ending(status)} after a passing summary, then {ending(second)}"
          f"{'' if again else ' without one'} when run again")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
