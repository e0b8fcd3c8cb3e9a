#!/usr/bin/env bash
# Builds the hook, its host and the tests, and the DLL a second time as
# Visual Studio builds it (the MSVC ABI, with clang-cl); runs the second
# compiler and the static analyser; and runs every test in both Wine prefixes
# (win64 and win32) that the build creates under build/wine: the everyday
# tests, the release checks and the proof runs (ctest label "proof": fault
# matrix, hostile inputs, blast radius, the real 30-second wait, two
# reproducible builds), those that load the DLL once with each DLL. Ends with
# the figures of each DLL.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw
echo "== the MSVC-ABI DLL (clang-cl, lld-link)"
cmake --preset clang-cl >/dev/null
cmake --build --preset clang-cl

status=0
static=passed
bash scripts/static-checks.sh || { status=$?; static="FAILED (see their output above)"; }

# One seed for both prefixes' hostile inputs (each takes half the cases).
export VLX_HOSTILE_SEED=${VLX_HOSTILE_SEED:-$(date +%s)}
log=build/ctest-output.txt
rm -f build/bin/proof-summary.txt
ctest --preset mingw 2>&1 | tee "$log" || status=$?

# The cleanup tests stop the servers; make sure of it when ctest was cut short.
for arch in win64 win32; do
    WINEPREFIX="$PWD/build/wine/$arch" wineserver -k 2>/dev/null || true
done

# The everyday suites of a DLL in a prefix, as ctest reported them.
everyday() {
    awk -v prefix="$1." '
        $0 ~ /Test +#[0-9]+: / {
            name = $0; sub(/.*Test +#[0-9]+: /, "", name); sub(/ .*/, "", name)
            if (index(name, prefix) != 1) next
            suite = substr(name, length(prefix) + 1)
            if (suite ~ /^(Proof|wineserver|bench|msvc-abi)/) next
            total++; if ($0 !~ /Passed/) failed++
        }
        END { if (total) printf "%d suites, %d failed", total, failed; else printf "no suites ran" }' "$log"
}

echo
echo "Static checks (clang gate, cppcheck): $static"
for dll in gcc msvc-abi; do
    if [ "$dll" = gcc ]; then
        summary=build/bin/proof-summary.txt
        echo "The DLL of the mingw-w64 build (gcc):"
    else
        summary=build/bin-msvc-abi/proof-summary.txt
        echo "The MSVC-ABI DLL (clang-cl):"
    fi
    for arch in win64 win32; do
        prefix=$arch
        [ "$dll" = gcc ] || prefix=$arch.msvc-abi
        echo "$arch everyday: $(everyday "$prefix")"
        for run in "fault matrix" "hostile inputs" "blast radius"; do
            grep -m1 "^$arch $run: " "$summary" 2>/dev/null || echo "$arch $run: no figures (the run did not finish)"
        done
    done
done
exit "$status"
