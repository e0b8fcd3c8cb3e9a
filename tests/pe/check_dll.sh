#!/usr/bin/env bash
# Checks the DLL that ships, as the release step wrote it to a dist folder,
# as the installer host and Windows see the file:
#   machine i386; exactly three exports, ordinal base 1, in name order;
#   imports from Windows system DLLs only; the asInvoker manifest and a
#   version resource; no C++ runtime; the hardening the build must keep:
#   DYNAMIC_BASE and NX_COMPAT, a relocation table, the stack protector linked
#   in; its debug symbols split off and linked by name.
#     check_dll.sh DIST [OBJDUMP]
set -u
dist=$1
objdump=${2:-i686-w64-mingw32-objdump}
nm=${objdump%objdump}nm
dll=$dist/VLXCustomHook.dll
debug=$dist/VLXCustomHook.dll.debug
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

rsrc=$(sed -n '/^The .rsrc Resource Directory section:/,/^$/p' <<<"$headers")
grep -qE 'Entry: ID: 0x000018' <<<"$rsrc" || fail "no RT_MANIFEST (24) resource"
grep -qE 'Entry: ID: 0x000002' <<<"$rsrc" || fail "manifest resource is not id 2"
grep -aq '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "$dll" || fail "manifest lacks asInvoker / uiAccess false"
grep -qE 'Entry: ID: 0x000010' <<<"$rsrc" || fail "no RT_VERSION (16) resource"

# Hardening: address-space layout randomisation and no execution from data
# pages need both flags and the relocations that let the loader move the DLL.
for flag in DYNAMIC_BASE NX_COMPAT; do
    sed -n '/^DllCharacteristics/,/^[A-Z]/p' <<<"$headers" | grep -qw "$flag" || fail "DllCharacteristics lacks $flag"
done
"$objdump" -h "$dll" | grep -qE '^\s+[0-9]+ \.reloc ' || fail "no relocation table (.reloc)"
if syms=$("$nm" "$debug" 2>/dev/null); then
    grep -qE ' [TtBbDd] ___stack_chk_fail$' <<<"$syms" || fail "the stack protector's runtime is not linked in"
    grep -qE ' [TtBbDd] ___stack_chk_guard$' <<<"$syms" || fail "no stack protector guard"
else
    fail "cannot read the debug symbols $debug"
fi
section=$(mktemp)
"${objdump%objdump}objcopy" --dump-section .gnu_debuglink="$section" "$dll" "$section.copy" 2>/dev/null
link=$(tr -d '\0' <"$section" | head -c 23)
rm -f "$section" "$section.copy"
[ "$link" = "VLXCustomHook.dll.debug" ] || fail "no .gnu_debuglink naming VLXCustomHook.dll.debug"
"$nm" "$dll" 2>/dev/null | grep -q . && fail "the shipped DLL still has symbols"

# No C++ runtime: nothing in the DLL can throw or unwind into the host. Its
# traces survive stripping as type names and messages; the split-off symbols
# are looked at too.
if grep -aqE 'St9exception|St9bad_alloc|St9type_info|__gnu_cxx|basic_string|terminate called' "$dll"; then
    fail "holds C++ runtime code (type information of std::exception or std::bad_alloc, or libstdc++ texts)"
fi
if grep -qE '__cxa_|_Unwind_|_ZNSt|_ZTISt|_ZTSSt' <<<"${syms:-}"; then
    fail "holds C++ runtime symbols: $(grep -oE '(__cxa_|_Unwind_|_ZNSt|_ZTISt|_ZTSSt)[A-Za-z0-9_]*' <<<"$syms" | sort -u | head -5 | tr '\n' ' ')"
fi

echo "imports: $(tr '\n' ' ' <<<"$imports")"
echo "size: $(stat -c %s "$dll") bytes"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PE checks passed"
