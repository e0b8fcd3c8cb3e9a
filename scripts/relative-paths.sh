#!/usr/bin/env bash
# Runs one compile or link command of the MSVC-ABI build with the source and
# build folders written relative to the folder it runs in, so that what
# clang-cl and lld-link record of their command lines in the objects and the
# PDB is the same in every clone, wherever it lies: the release's PDB is a
# function of the sources (clang 14 records its whole command line, and
# lld-link its own, with no way to leave them out).
#     relative-paths.sh SOURCE_DIR BUILD_DIR COMMAND [ARGUMENT...]
set -euo pipefail
source=$1
build=$2
shift 2
near_build=$(realpath -m --relative-to="$PWD" "$build")
near_source=$(realpath -m --relative-to="$PWD" "$source")
arguments=()
for argument in "$@"; do
    # The build folder first: it may lie inside the source folder.
    argument=${argument//"$build"/"$near_build"}
    arguments+=("${argument//"$source"/"$near_source"}")
done
exec "${arguments[@]}"
