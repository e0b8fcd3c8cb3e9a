#!/usr/bin/env bash
# Builds the hook, its host and the tests, runs the second compiler and the
# static analyser, and runs every test in both Wine prefixes (win64 and win32)
# that the build creates under build/wine: the everyday tests, the release
# checks and the proof runs (ctest label "proof": fault matrix, hostile
# inputs, blast radius, the real 30-second wait, two reproducible builds).
# Ends with the figures of the proof runs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw

status=0
bash scripts/static-checks.sh || status=$?

# One seed for both prefixes' hostile inputs (each takes half the cases).
export VLX_HOSTILE_SEED=${VLX_HOSTILE_SEED:-$(date +%s)}
summary=build/bin/proof-summary.txt
rm -f "$summary"
ctest --preset mingw || status=$?

# The cleanup tests stop the servers; make sure of it when ctest was cut short.
for arch in win64 win32; do
    WINEPREFIX="$PWD/build/wine/$arch" wineserver -k 2>/dev/null || true
done

echo
for arch in win64 win32; do
    for run in "fault matrix" "hostile inputs" "blast radius"; do
        grep -m1 "^$arch $run: " "$summary" 2>/dev/null || echo "$arch $run: no figures (the run did not finish)"
    done
done
exit "$status"
