#!/usr/bin/env bash
# Builds the hook, its host and the tests, and runs every test in both Wine
# prefixes (win64 and win32) that the build creates under build/wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw

status=0
ctest --preset mingw || status=$?

# The cleanup tests stop the servers; make sure of it when ctest was cut short.
for arch in win64 win32; do
    WINEPREFIX="$PWD/build/wine/$arch" wineserver -k 2>/dev/null || true
done
exit "$status"
