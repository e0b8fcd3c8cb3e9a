#!/usr/bin/env bash
# Checks the built hook DLL as the installer host sees the file:
#   machine i386; exactly three exports, ordinal base 1, in name order;
#   imports from Windows system DLLs only; the asInvoker manifest resource;
#   no C++ runtime.
set -u
dll=$1
objdump=${2:-i686-w64-mingw32-objdump}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }

"$objdump" -f "$dll" | grep -q 'architecture: i386' || fail "machine is not i386"
grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 i386 image"
grep -qE '^Characteristics .*' <<<"$headers" && grep -q '^	DLL$' <<<"$headers" || fail "not a DLL"

grep -qE '^Ordinal Base[[:space:]]+1$' <<<"$headers" || fail "ordinal base is not 1"
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | grep -E '^\s+\[' )
expected_exports=$'\t[   0] QXInstallerCustomHookCloseSession\n\t[   1] QXInstallerCustomHookInitSession\n\t[   2] QXInstallerCustomHookProcV2'
[ "$exports" = "$expected_exports" ] || fail "exports differ:"$'\n'"$exports"
ordinals=$(sed -n '/^Export Address Table -- Ordinal Base 1/,/^$/p' <<<"$headers" | grep -cE '\+base\[   [123]\]')
[ "$ordinals" = 3 ] || fail "expected ordinals 1..3, found $ordinals"

allowed='^(KERNEL32|ADVAPI32|SHELL32|SHLWAPI|ole32|msvcrt)\.dll$'
imports=$(grep -E '^\s+DLL Name:' <<<"$headers" | awk '{print $3}')
[ -n "$imports" ] || fail "no import table"
while read -r name; do
    grep -qiE "$allowed" <<<"$name" || fail "imports a non-system DLL: $name"
done <<<"$imports"
grep -qiE 'libstdc\+\+|libgcc_s|libwinpthread' <<<"$imports" && fail "imports a GCC runtime DLL"

rsrc=$(sed -n '/^The .rsrc Resource Directory section:/,/^$/p' <<<"$headers")
grep -qE 'Entry: ID: 0x000018' <<<"$rsrc" || fail "no RT_MANIFEST (24) resource"
grep -qE 'Entry: ID: 0x000002' <<<"$rsrc" || fail "manifest resource is not id 2"
grep -aq '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "$dll" || fail "manifest lacks asInvoker / uiAccess false"

# No C++ runtime: nothing in the DLL can throw or unwind into the host. Its
# traces survive stripping as type names and messages; symbols are looked at
# too when the file still has them.
if grep -aqE 'St9exception|St9bad_alloc|St9type_info|__gnu_cxx|basic_string|terminate called' "$dll"; then
    fail "holds C++ runtime code (type information of std::exception or std::bad_alloc, or libstdc++ texts)"
fi
nm=${objdump%objdump}nm
if syms=$("$nm" "$dll" 2>/dev/null) && grep -qE '__cxa_|_Unwind_|_ZNSt|_ZTISt|_ZTSSt' <<<"$syms"; then
    fail "holds C++ runtime symbols: $(grep -oE '(__cxa_|_Unwind_|_ZNSt|_ZTISt|_ZTSSt)[A-Za-z0-9_]*' <<<"$syms" | sort -u | head -5 | tr '\n' ' ')"
fi

echo "imports: $(tr '\n' ' ' <<<"$imports")"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PE checks passed"
