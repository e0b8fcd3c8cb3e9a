#!/usr/bin/env bash
# Checks a built VLXCustomHook.dll as the installer host and Windows see the
# file:
#   machine i386; exactly three exports, ordinal base 1, in name order;
#   imports from Windows system DLLs only; the asInvoker manifest and a
#   version resource; no C++ runtime; DYNAMIC_BASE and NX_COMPAT and a
#   relocation table.
# And what each build must keep besides:
#   shipped   the release step's DLL (dist/): stripped, its debug symbols
#             split off and linked by name, the stack protector linked in
#   clang     the clang gate's DLL: the stack protector linked in
#   msvc-abi  the MSVC-ABI DLL: SafeSEH (no handler at all, or a table of them)
#     check_dll.sh DLL KIND [OBJDUMP]
set -u
dll=$1
kind=$2
objdump=${3:-i686-w64-mingw32-objdump}
nm=${objdump%objdump}nm
failures=0
fail() { echo "FAIL ($kind): $*"; failures=$((failures + 1)); }

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

allowed='^(KERNEL32|ADVAPI32|SHELL32|SHLWAPI|ole32|ntdll|msvcrt)\.dll$'
imports=$(grep -E '^\s+DLL Name:' <<<"$headers" | awk '{print $3}')
[ -n "$imports" ] || fail "no import table"
while read -r name; do
    grep -qiE "$allowed" <<<"$name" || fail "imports a non-system DLL: $name"
done <<<"$imports"

# The resource directory as LLVM reads it: GNU objdump stops after the first
# type of a directory that lld lays out.
readobj=$(command -v llvm-readobj-14 || command -v llvm-readobj)
rsrc=$("$readobj" --coff-resources "$dll")
grep -A4 'Type: MANIFEST (ID 24)' <<<"$rsrc" | grep -q 'Name: (ID 2)' || fail "no RT_MANIFEST (24) resource of id 2"
grep -aq '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "$dll" || fail "manifest lacks asInvoker / uiAccess false"
grep -q 'Type: VERSIONINFO (ID 16)' <<<"$rsrc" || fail "no RT_VERSION (16) resource"

# Hardening: address-space layout randomisation and no execution from data
# pages need both flags and the relocations that let the loader move the DLL.
characteristics=$(sed -n '/^DllCharacteristics/,/^[A-Z]/p' <<<"$headers")
for flag in DYNAMIC_BASE NX_COMPAT; do
    grep -qw "$flag" <<<"$characteristics" || fail "DllCharacteristics lacks $flag"
done
"$objdump" -h "$dll" | grep -qE '^\s+[0-9]+ \.reloc ' || fail "no relocation table (.reloc)"

# No C++ runtime: nothing in the DLL can throw or unwind into the host. Its
# traces survive stripping as type names and messages (the clang gate's DLL
# keeps its debug information, which names the C library's own headers: its
# symbols are looked at instead, below).
if [ "$kind" != clang ] &&
    grep -aqE 'St9exception|St9bad_alloc|St9type_info|__gnu_cxx|basic_string|terminate called|bad_alloc@std' "$dll"; then
    fail "holds C++ runtime code (type information of std::exception or std::bad_alloc, or its texts)"
fi

# The stack protector's runtime, by its symbols.
stack_protector() {
    grep -qE ' [TtBbDd] ___stack_chk_fail$' <<<"$1" || fail "the stack protector's runtime is not linked in"
    grep -qE ' [TtBbDd] ___stack_chk_guard$' <<<"$1" || fail "no stack protector guard"
    if grep -qE '__cxa_|_Unwind_|_ZNSt|_ZTISt|_ZTSSt' <<<"$1"; then
        fail "holds C++ runtime symbols: $(grep -oE '(__cxa_|_Unwind_|_ZNSt|_ZTISt|_ZTSSt)[A-Za-z0-9_]*' <<<"$1" | sort -u | head -5 | tr '\n' ' ')"
    fi
}

case $kind in
    shipped)
        debug=$dll.debug
        if syms=$("$nm" "$debug" 2>/dev/null); then
            stack_protector "$syms"
        else
            fail "cannot read the debug symbols $debug"
        fi
        section=$(mktemp)
        "${objdump%objdump}objcopy" --dump-section .gnu_debuglink="$section" "$dll" "$section.copy" 2>/dev/null
        link=$(tr -d '\0' <"$section" | head -c 23)
        rm -f "$section" "$section.copy"
        [ "$link" = "VLXCustomHook.dll.debug" ] || fail "no .gnu_debuglink naming VLXCustomHook.dll.debug"
        "$nm" "$dll" 2>/dev/null | grep -q . && fail "the shipped DLL still has symbols"
        ;;
    clang)
        stack_protector "$("$nm" "$dll" 2>/dev/null)"
        ;;
    msvc-abi)
        # SafeSEH: an image with no exception handler at all says so (NO_SEH);
        # one with handlers lists them in its load configuration.
        if ! grep -qw NO_SEH <<<"$characteristics" && ! "$objdump" -p "$dll" | grep -q 'SEHandlerTable'; then
            fail "neither NO_SEH nor a SafeSEH handler table"
        fi
        ;;
    *)
        fail "unknown kind (shipped, clang or msvc-abi)"
        ;;
esac

echo "$kind: $(stat -c %s "$dll") bytes; imports: $(tr '\n' ' ' <<<"$imports")"
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PE checks passed ($kind)"
