#!/usr/bin/env bash
# Writes a C++ source that refers to every function a DLL imports, through
# the import library symbol of each, so that a DLL built from it carries
# the same import table: minimal-imports.sh DLL OBJDUMP CXX OUT.cpp
set -euo pipefail
dll=$1
objdump=$2
cxx=$3
out=$4
nm=${objdump%objdump}nm
exec >"$out.tmp"

echo "// Generated from the import table of $(basename "$dll"): one reference per import."
symbols=()
library=
while IFS= read -r line; do
    if [[ $line =~ DLL\ Name:\ (.*)\.dll$ ]] || [[ $line =~ DLL\ Name:\ (.*)\.DLL$ ]]; then
        name=${BASH_REMATCH[1],,}
        library=$("$cxx" -print-file-name="lib$name.a")
        table=$("$nm" "$library" 2>/dev/null | awk '$2 == "I" { print $3 }')
    elif [[ -n $library && $line =~ ^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+([A-Za-z_][A-Za-z0-9_]*)$ ]]; then
        function=${BASH_REMATCH[1]}
        # __imp__Name for cdecl functions, __imp__Name@N for stdcall ones.
        symbol=$(grep -m1 -E "^__imp__${function}(@[0-9]+)?$" <<<"$table" || true)
        if [ -z "$symbol" ]; then
            echo "minimal-imports: no import symbol for $function in $library" >&2
            exit 1
        fi
        symbols+=("$symbol")
    elif [[ -z $line ]]; then
        library=
    fi
done < <("$objdump" -p "$dll")

i=0
for symbol in "${symbols[@]}"; do
    echo "extern \"C\" void* const kImport$i __asm__(\"$symbol\");"
    i=$((i + 1))
done
echo "extern \"C\" void* const* const kImports[] = {"
for ((j = 0; j < i; j++)); do
    echo "    &kImport$j,"
done
echo "};"
echo "extern \"C\" const unsigned kImportCount = $i;"
mv "$out.tmp" "$out"
