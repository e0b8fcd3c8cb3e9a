#!/usr/bin/env bash
# Makes MSVC-style import libraries of the Windows system DLLs the hook links
# (named by cmake/MsvcDll.cmake) from mingw-w64's GNU ones, for the MSVC-ABI
# build with lld-link: the GNU import objects carry no SafeSEH mark, so
# /SAFESEH refuses them. Each library's exports are read from the GNU
# library's import symbols; the import names drop the stdcall decoration, as
# the DLLs export them.
#     msvc-import-libs.sh OUT_DIR MINGW_LIB_DIR LLVM_NM LLVM_DLLTOOL DLL...
set -euo pipefail
out=$1
mingw=$2
nm=$3
dlltool=$4
shift 4

mkdir -p "$out"
for dll in "$@"; do
    def=$out/$dll.def
    {
        echo "LIBRARY $dll.dll"
        echo "EXPORTS"
        "$nm" --defined-only "$mingw/lib$dll.a" 2>/dev/null |
            awk '$2 == "I" && $3 ~ /^__imp__/ { print substr($3, 8) }' | LC_ALL=C sort -u
    } >"$def"
    "$dlltool" -m i386 -k -d "$def" -l "$out/$dll.lib"
done
