#!/usr/bin/env python3
"""The figures of a test run, per DLL and prefix: the everyday suites as
ctest's JUnit report tells them, and the proof runs' own counts.

    test-figures.py REPORT GCC_PROOF_SUMMARY MSVC_ABI_PROOF_SUMMARY

Exits with 1 when the report is missing or names no everyday suite."""
import sys
import xml.etree.ElementTree as ElementTree

from importlib.util import module_from_spec, spec_from_file_location
from pathlib import Path

# The words run-suite.py says them in.
_spec = spec_from_file_location("run_suite", Path(__file__).with_name("run-suite.py"))
run_suite = module_from_spec(_spec)
_spec.loader.exec_module(run_suite)
PASSED_AGAIN = run_suite.PASSED_AGAIN

report, summaries = sys.argv[1], {"gcc": sys.argv[2], "msvc-abi": sys.argv[3]}
try:
    cases = ElementTree.parse(report).getroot().iter("testcase")
except (OSError, ElementTree.ParseError) as error:
    print(f"no test report: {error}")
    sys.exit(1)

# Everyday suites: "<arch>.<Suite>" and "<arch>.msvc-abi.<Suite>", neither
# a proof run, the benchmark nor a wineserver fixture. Any suite of either
# prefix may have crashed at exit after passing and passed when run again
# (scripts/run-suite.py).
counts = {}
passed_again = []
for case in cases:
    name = case.get("name", "")
    arch, _, rest = name.partition(".")
    if arch not in ("win64", "win32") or not rest:
        continue
    if PASSED_AGAIN in (case.findtext("system-out") or ""):
        passed_again.append(name)
    dll = "gcc"
    if rest.startswith("msvc-abi."):
        dll, rest = "msvc-abi", rest[len("msvc-abi."):]
    if rest.startswith("windows10."):
        rest = rest[len("windows10."):]
    if rest.startswith(("Proof", "wineserver", "bench")):
        continue
    ran, failed = counts.get((dll, arch), (0, 0))
    bad = case.get("status") != "run" or case.find("failure") is not None or case.find("error") is not None
    counts[(dll, arch)] = (ran + 1, failed + (1 if bad else 0))

def proof_lines(path):
    try:
        with open(path, encoding="utf-8") as summary:
            return summary.read().splitlines()
    except OSError:
        return []

status = 0 if counts else 1
for dll, title in (("gcc", "The DLL of the mingw-w64 build (gcc):"), ("msvc-abi", "The MSVC-ABI DLL (clang-cl):")):
    print(title)
    lines = proof_lines(summaries[dll])
    for arch in ("win64", "win32"):
        ran, failed = counts.get((dll, arch), (0, 0))
        print(f"{arch} everyday: {ran} suites, {failed} failed" if ran else f"{arch} everyday: no suites ran")
        for run in ("fault matrix", "hostile inputs", "blast radius", "race", "kill matrix"):
            for way in ("Wine's deletion", "Windows 10 deletion"):
                head = f"{arch} {run} ({way}): "
                found = next((line for line in lines if line.startswith(head)), None)
                print(found or f"{head}no figures (the run did not finish)")
if passed_again:
    print(f"{len(passed_again)} suite{'s' if len(passed_again) > 1 else ''} {PASSED_AGAIN}: {', '.join(passed_again)}")
sys.exit(status)
