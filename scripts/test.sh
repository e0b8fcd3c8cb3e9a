#!/usr/bin/env bash
# Builds everything it tests in one build (the hook, its host and the tests
# with mingw-w64; the DLL a second time as Visual Studio builds it, the MSVC
# ABI, with clang-cl; the library and the host a third time with clang, as
# the gate's second compiler; what ships, in build/dist), runs the static
# checks, and runs every test in both Wine prefixes (win64 and win32) that
# the build creates under build/wine: the everyday tests, the release checks
# and the proof runs (ctest label "proof": fault matrix, hostile inputs,
# blast radius, race, kill matrix, the real 30-second wait, two reproducible
# builds), those that load the DLL once with each DLL. Ends with the figures
# of each DLL; exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw

status=0
static=passed
bash scripts/static-checks.sh || { status=$?; static="FAILED (see their output above)"; }

# One seed for both prefixes' hostile inputs (each takes half the cases).
export VLX_HOSTILE_SEED=${VLX_HOSTILE_SEED:-$(date +%s)}
report=build/ctest-report.xml
rm -f build/bin/proof-summary.txt build/bin-msvc-abi/proof-summary.txt "$report"
ctest --preset mingw --output-junit "$PWD/$report" || status=$?

# The cleanup tests stop the servers; make sure of it when ctest was cut short.
for arch in win64 win32; do
    WINEPREFIX="$PWD/build/wine/$arch" wineserver -k 2>/dev/null || true
done

echo
echo "Static checks (cppcheck, the includes between folders): $static"
python3 scripts/test-figures.py "$report" build/bin/proof-summary.txt build/bin-msvc-abi/proof-summary.txt ||
    status=1
exit "$status"
