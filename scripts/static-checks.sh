#!/usr/bin/env bash
# The gate's static checks (its second compiler, clang with warnings as
# errors, is part of the build): no folder of the library includes one above
# it, and cppcheck finds nothing in the sources. A finding is mended, or
# suppressed where it stands with a one-line reason
# (// cppcheck-suppress id ; reason).
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== no include runs back up the house"
# Each folder of the library by its floor, the DLL's top highest: a file
# includes from its own folder and from folders below it, never from a
# folder on its own floor or above (shortcuts/ and actions/ share one).
floor() {
    case $1 in
        base|runtime) echo 0 ;; hook) echo 1 ;; registry) echo 2 ;; shortcuts|actions) echo 3 ;; dll) echo 4 ;;
        *) echo 9 ;;  # host/, tests/ and bench/ stand outside the library
    esac
}
up=0
for folder in base runtime hook registry shortcuts actions dll; do
    while IFS= read -r hit; do
        included=$(sed -E 's|.*#include "([a-z_]+)/.*|\1|' <<<"$hit")
        if [ "$included" != "$folder" ] && [ "$(floor "$included")" -ge "$(floor "$folder")" ]; then
            echo "$hit" >&2
            up=1
        fi
    done < <(grep -nE '#include "[a-z_]+/' "$folder"/* || true)
done
if [ "$up" -ne 0 ]; then
    echo "an include above runs back up the house: a folder includes one on its own floor or above it" >&2
    exit 1
fi

echo "== the platform floor spells no name of the product"
# The floor's own names on a machine come from hook/product.h through the
# build (CMakeLists.txt); the VLX_ prefix of a macro is no name.
if grep -rnE 'VLX[^_]|Kestrune|Montavo' base runtime; then
    echo "base/ or runtime/ spells a name of the product: take it from hook/product.h through the build" >&2
    exit 1
fi

echo "== the library declares the native calls it makes itself (base/nt_file.h)"
if grep -rn '#include <winternl.h>' base runtime hook registry shortcuts actions dll; then
    echo "the library includes <winternl.h>, whose contents differ between the SDK and mingw-w64" >&2
    exit 1
fi

echo "== no access list is written by name, which pushes it down a tree by names"
if grep -rnE 'SetNamedSecurityInfoW|TreeSetNamedSecurityInfoW' base runtime hook registry shortcuts actions dll; then
    echo "the library writes an access list by name: write it through the proven handle (SetKernelObjectSecurity)" >&2
    exit 1
fi

echo "== cppcheck"
common=(--std=c++17 --language=c++ --inline-suppr --error-exitcode=1 --quiet -I . -D_WIN32 -DUNICODE
        -D_UNICODE --suppress=missingIncludeSystem --library=windows)
# The library's folders, the platform floor first, and the host: style
# findings too.
library=(base runtime hook registry shortcuts actions dll)
cppcheck "${common[@]}" --enable=warning,style,performance,portability "${library[@]}" host
# The tests and the benchmark: GoogleTest's macros known, style left to the reviewer.
cppcheck "${common[@]}" --library=googletest --enable=warning,performance,portability tests bench
echo "cppcheck $(cppcheck --version | grep -oE '[0-9.]+$'): no findings"
