#!/usr/bin/env bash
# The gate's second opinions: builds the library and the host with clang (and
# lld) for 32-bit Windows, with its warnings as errors, and runs cppcheck over
# the sources. A finding is mended, or suppressed where it stands with a
# one-line reason (// cppcheck-suppress id ; reason).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
echo "== clang: library and host"
cmake --preset clang >/dev/null
cmake --build build-clang --target VLXCustomHook hookhost -- -j2 >/dev/null
echo "built with clang $(clang --version | head -1 | grep -oE '[0-9]+\.[0-9.]+' | head -1): no warnings"

echo "== cppcheck"
common=(--std=c++17 --language=c++ --inline-suppr --error-exitcode=1 --quiet -I . -D_WIN32 -DUNICODE
        -D_UNICODE --suppress=missingIncludeSystem --library=windows)
# The library and the host: style findings too.
cppcheck "${common[@]}" --enable=warning,style,performance,portability hook actions registry shortcuts host
# The tests and the benchmark: GoogleTest's macros known, style left to the reviewer.
cppcheck "${common[@]}" --library=googletest --enable=warning,performance,portability tests bench
echo "cppcheck $(cppcheck --version | grep -oE '[0-9.]+$'): no findings"
